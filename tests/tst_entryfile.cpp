// Entry files on disk: bounded reads that never block, saves that leave the old bytes
// or the new ones whatever fails, links and permissions kept, and the name rules.

#include "entryfile/entryfile.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::folderContents;
using testsupport::Sandbox;

namespace {

bool fsyncFails = false;

// A fault that lasts as long as the object: "full", writes past 4 KiB in any one file fail
// as they would on a full disk; "fsync", fsync fails as when the disk cannot take the data.
struct Fault {
    rlimit old{};
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    explicit Fault(const QString &kind)
    {
        ::getrlimit(RLIMIT_FSIZE, &old);
        const rlimit now{kind == "full" ? 4096 : old.rlim_cur, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &now);
        fsyncFails = kind == "fsync";
    }
    ~Fault()
    {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, handler);
        fsyncFails = false;
    }
};

// The file's permission bits, or -1.
int mode(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : -1;
}

} // namespace

// The program's own fsync, in place of the C library's for everything linked into it.
extern "C" int fsync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    if (fsyncFails) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

class TestEntryFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ::umask(022); }
    void read_data();
    void read();
    void failedWriteLeavesOldBytes_data();
    void failedWriteLeavesOldBytes();
    void keepsLinksAndPermissions();
    void createManyNeverReplaces();
    void nameProblems_data();
    void nameProblems();
};

void TestEntryFile::read_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason"); // empty when the read succeeds
    const auto row = [](const char *tag, const char *name, const char *reason) {
        QTest::newRow(tag) << name << reason;
    };
    row("through a link", "link", "");
    row("missing", "missing", "No such file or directory");
    row("folder", "folder", "Is a directory");
    row("FIFO, without blocking", "fifo", "Not a regular file");
    row("larger than 64 MiB", "large", "The file is larger than 64 MiB");
}

void TestEntryFile::read()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    Sandbox f;
    f.write("entry", "bytes");
    QVERIFY(QFile::link("entry", f.entry("link")));
    QVERIFY(QDir(f.list()).mkdir("folder"));
    QCOMPARE(::mkfifo(QFile::encodeName(f.entry("fifo")).constData(), 0600), 0);
    f.write("large", {});
    QVERIFY(QFile::resize(f.entry("large"), (64 << 20) + 1)); // sparse: costs no disk
    const QString path = f.entry(name);
    QByteArray contents = "before";
    const Status status = entryfile::read(path, contents);
    QCOMPARE(status.message(),
             reason.isEmpty()
                 ? QString()
                 : QStringLiteral("Cannot read the entry \"%1\": %2").arg(path, reason));
    QCOMPARE(contents, reason.isEmpty() ? "bytes" : "before");
}

void TestEntryFile::failedWriteLeavesOldBytes_data()
{
    QTest::addColumn<bool>("create");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("fault");
    // Not checked for the size limit that stands in for a full disk.
    QTest::addColumn<QString>("reason");
    const auto row = [](const char *tag, bool create, const char *name, const char *fault,
                        const char *reason) {
        QTest::newRow(tag) << create << name << fault << reason;
    };
    row("replace: disk full", false, "entry", "full", "");
    row("replace: fsync fails", false, "entry", "fsync", "Input/output error");
    row("replace: a folder in the way", false, "folder", "", "it is a folder, not a regular file");
    row("replace: no such folder", false, "missing/entry", "", "No such file or directory");
    row("create: disk full", true, "new", "full", "");
    row("create: fsync fails", true, "new", "fsync", "Input/output error");
    row("create: the name is taken", true, "entry", "", "an entry of that name already exists");
    row("create: a folder in the way", true, "folder", "", "an entry of that name already exists");
}

// A failed save reports what failed and why, keeps the old file whole and leaves no
// temporary; once the fault is gone, the same save succeeds.
void TestEntryFile::failedWriteLeavesOldBytes()
{
    QFETCH(bool, create);
    QFETCH(QString, name);
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    Sandbox f;
    f.write("entry", "old bytes");
    QVERIFY(QDir(f.list()).mkdir("folder"));
    const QStringList before = folderContents(f.list());
    const QByteArray bytes(20000, 'x');
    const auto save = [&] {
        return create ? entryfile::create(f.entry(name), bytes)
                      : entryfile::replace(f.entry(name), bytes);
    };

    const Status status = [&] {
        const Fault during(fault);
        return save();
    }();
    QVERIFY(!status);
    QVERIFY2(status.message().contains(f.entry(name)) && status.message().contains(reason),
             qPrintable(status.message()));
    QCOMPARE(folderContents(f.list()), before);
    QCOMPARE(f.read("entry"), "old bytes");
    if (!fault.isEmpty()) {
        QVERIFY(save());
        QCOMPARE(f.read(name), bytes);
    }
}

// A save through a link writes the file it leads to; a replaced file keeps its
// permissions, a new one gets those the umask gives.
void TestEntryFile::keepsLinksAndPermissions()
{
    Sandbox f;
    f.write("target", "old");
    QCOMPARE(::chmod(QFile::encodeName(f.entry("target")).constData(), 0604), 0);
    QVERIFY(QFile::link("target", f.entry("link")));
    QVERIFY(entryfile::replace(f.entry("link"), "new"));
    QVERIFY(QFileInfo(f.entry("link")).isSymLink());
    QCOMPARE(f.read("target"), "new");
    QCOMPARE(mode(f.entry("target")), 0604);

    // The longest name the file system allows leaves no room for a temporary suffix.
    const QString longest(255, 'n');
    QVERIFY(entryfile::replace(f.entry(longest), "1"));
    QVERIFY(entryfile::create(f.entry("created"), "2"));
    QCOMPARE(f.read(longest) + f.read("created"), "12");
    QCOMPARE(mode(f.entry(longest)), 0644);
    QCOMPARE(mode(f.entry("created")), 0644);
    QCOMPARE(folderContents(f.list()), QStringList({"created", "link", longest, "target"}));
}

// A batch creates what it can; it never replaces anything, and an entry the full disk
// cuts short is left out whole.
void TestEntryFile::createManyNeverReplaces()
{
    Sandbox f;
    f.write("taken", "old bytes");
    std::vector<Status> results;
    {
        const Fault full("full");
        results = entryfile::createMany(f.list(), {{"one", "1"},
                                                   {"taken", "new"},
                                                   {"../out", "x"},
                                                   {"big", QByteArray(20000, 'x')},
                                                   {"two", "2"}});
    }
    QCOMPARE(results.size(), 5u);
    QVERIFY(results[0] && !results[1] && !results[2] && !results[3] && results[4]);
    QVERIFY2(results[1].message().endsWith("already exists"), qPrintable(results[1].message()));
    QCOMPARE(folderContents(f.list()), QStringList({"one", "taken", "two"}));
    QCOMPARE(f.read("taken") + f.read("one") + f.read("two"), "old bytes12");
    QCOMPARE(mode(f.entry("one")), 0644);
    QVERIFY(!QFile::exists(f.entry("../out")));
}

void TestEntryFile::nameProblems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("refused");
    QTest::newRow("plain") << QString("news") << false;
    QTest::newRow("unusual but allowed") << QString(" a.b *?[x] \\ Ёж. ") << false;
    QTest::newRow("255 bytes") << QString(255, 'n') << false;
    QTest::newRow("256 bytes") << QString(256, 'n') << true;
    QTest::newRow("128 Cyrillic letters are 256 bytes") << QString(128, QChar(0x0436)) << true;
    QTest::newRow("slash") << QString("a/b") << true;
    QTest::newRow("NUL") << QString("a") + QChar(0) + "b" << true;
    QTest::newRow("dot dot") << QString("..") << true;
    QTest::newRow("hidden") << QString(".profile") << true;
}

void TestEntryFile::nameProblems()
{
    QFETCH(QString, name);
    QFETCH(bool, refused);
    QCOMPARE(!entryfile::nameProblem(name).isEmpty(), refused);
}

QTEST_GUILESS_MAIN(TestEntryFile)
#include "tst_entryfile.moc"
