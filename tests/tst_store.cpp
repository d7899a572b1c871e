#include "controls/filelist/dirlistbox.h"
#include "controls/richtext/richtextbox.h"
#include "store/store.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using testsupport::Sandbox;

namespace {

// Everything in the List folder, hidden and temporary files included.
QStringList listed(const Sandbox &sandbox)
{
    return QDir(sandbox.list())
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

} // namespace

class TestStore : public QObject {
    Q_OBJECT

private slots:
    void pathRule_data();
    void pathRule();
    void createEntryNeverReplaces();
    void createManyNeverReplaces();
    void deleteEntryRemovesOnlyFiles();
    void saveEntryReplacesWholeAndKeepsLinks();
    void nameProblems_data();
    void nameProblems();
};

void TestStore::pathRule_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("path");
    const auto row = [](const char *tag, const char *base, const char *name, const char *folder,
                        const char *path) { QTest::newRow(tag) << base << name << folder << path; };
    row("ordinary", "/tmp", "news", "/tmp/List", "/tmp/List/news");
    row("root base doubles the separator", "/", "a.b", "//List", "//List/a.b");
    row("dots and spaces kept", "/tmp", " x.rtf ", "/tmp/List", "/tmp/List/ x.rtf ");
}

void TestStore::pathRule()
{
    QFETCH(QString, base);
    QFETCH(QString, name);
    QFETCH(QString, folder);
    QFETCH(QString, path);
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(base));
    DirListBox dir;
    QVERIFY(QDir::setCurrent(previous));
    // The base is fixed when the list is made, whatever the current folder is later.
    QCOMPARE(dir.path(), base);
    QCOMPARE(store::entryFolder(dir), folder);
    QCOMPARE(store::entryPath(dir, name), path);
}

void TestStore::createEntryNeverReplaces()
{
    Sandbox sandbox;
    RichTextBox box;
    // A name inside a folder that does not exist cannot be created at all.
    QVERIFY(!store::createEntry(sandbox.entry("missing/x"), box));
    QCOMPARE(listed(sandbox), QStringList());

    sandbox.write("news", "old bytes");
    const Status created = store::createEntry(sandbox.entry("news"), box);
    QVERIFY(!created);
    QVERIFY(created.message().contains(sandbox.entry("news")));
    QCOMPARE(sandbox.read("news"), QByteArray("old bytes"));

    QVERIFY(store::createEntry(sandbox.entry("fresh"), box));
    QCOMPARE(sandbox.read("fresh"), testsupport::plainEntry(""));
}

void TestStore::createManyNeverReplaces()
{
    Sandbox sandbox;
    sandbox.write("taken", "old bytes");
    const std::vector<Status> results = entryfile::createMany(
        sandbox.list(), {{"one", "1"}, {"taken", "new"}, {"../out", "x"}, {"two", "2"}});
    QCOMPARE(results.size(), 4u);
    QVERIFY(results[0] && !results[1] && !results[2] && results[3]);
    QVERIFY2(results[1].message().contains("already exists"), qPrintable(results[1].message()));
    // Nothing replaced, nothing outside the folder, no temporary left behind.
    QCOMPARE(listed(sandbox), QStringList({"one", "taken", "two"}));
    QCOMPARE(sandbox.read("taken"), QByteArray("old bytes"));
    QCOMPARE(sandbox.read("one") + sandbox.read("two"), QByteArray("12"));
    // The permissions any new file gets, as for a single new entry.
    QCOMPARE(QFileInfo(sandbox.entry("one")).permissions(),
             QFileInfo(sandbox.entry("taken")).permissions());
    QVERIFY(!QFile::exists(sandbox.base() + "/out"));
}

void TestStore::deleteEntryRemovesOnlyFiles()
{
    Sandbox sandbox;
    sandbox.write("target", "t");
    QVERIFY(QDir(sandbox.list()).mkdir("folder"));
    QVERIFY(QFile::link(sandbox.entry("target"), sandbox.entry("link")));

    // A link goes, its target stays.
    QVERIFY(store::deleteEntry(sandbox.entry("link")));
    QVERIFY(!QFileInfo(sandbox.entry("link")).isSymLink());
    QVERIFY(sandbox.exists("target"));

    QVERIFY(!store::deleteEntry(sandbox.entry("folder")));
    QVERIFY(QFileInfo(sandbox.entry("folder")).isDir());
    QVERIFY(!store::deleteEntry(sandbox.list() + '/'));
    QVERIFY(QFileInfo(sandbox.list()).isDir());

    const Status missing = store::deleteEntry(sandbox.entry("gone"));
    QVERIFY(!missing);
    QVERIFY2(missing.message().contains("No such file or directory"),
             qPrintable(missing.message()));
}

void TestStore::saveEntryReplacesWholeAndKeepsLinks()
{
    Sandbox sandbox;
    RichTextBox box;
    box.setPlainText("new");
    // The longest name the file system allows leaves no room for a temporary suffix.
    const QString longest(255, 'n');
    QVERIFY(store::saveEntry(sandbox.entry(longest), box));
    QCOMPARE(sandbox.read(longest), testsupport::plainEntry("new"));

    sandbox.write("target", "old");
    QVERIFY(QFile::setPermissions(sandbox.entry("target"), QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(QFile::link("target", sandbox.entry("link")));
    QVERIFY(store::saveEntry(sandbox.entry("link"), box));
    QVERIFY(QFileInfo(sandbox.entry("link")).isSymLink());
    QCOMPARE(sandbox.read("target"), testsupport::plainEntry("new"));
    // The replaced file keeps the old one's permissions (no group or other bits here).
    QCOMPARE(QFileInfo(sandbox.entry("target")).permissions() & 0x0fff,
             QFile::ReadUser | QFile::WriteUser);

    // An entry replaced by a folder is not written into, and nothing is left behind.
    QVERIFY(QDir(sandbox.list()).mkdir("folder"));
    QVERIFY(!store::saveEntry(sandbox.entry("folder"), box));
    QVERIFY(QFileInfo(sandbox.entry("folder")).isDir());
    QCOMPARE(listed(sandbox), QStringList({"folder", "link", longest, "target"}));
}

// Allowed but unusual names (spaces, dots, Cyrillic, wildcards, backslash) are driven end
// to end by tst_names; here are the edges of the rule itself.
void TestStore::nameProblems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("refused");
    QTest::newRow("plain") << "news" << false;
    QTest::newRow("255 bytes") << QString(255, 'n') << false;
    QTest::newRow("256 bytes") << QString(256, 'n') << true;
    QTest::newRow("128 Cyrillic letters are 256 bytes") << QString(128, QChar(0x0436)) << true;
    QTest::newRow("slash") << "a/b" << true;
    QTest::newRow("climbing out") << "../x" << true;
    QTest::newRow("absolute") << "/etc/passwd" << true;
    QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << true;
    QTest::newRow("dot") << "." << true;
    QTest::newRow("dot dot") << ".." << true;
    QTest::newRow("hidden") << ".profile" << true;
}

void TestStore::nameProblems()
{
    QFETCH(QString, name);
    QFETCH(bool, refused);
    QCOMPARE(!store::nameProblem(name).isEmpty(), refused);
}

QTEST_MAIN(TestStore)
#include "tst_store.moc"
