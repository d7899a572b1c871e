// The file list: which names it shows and in what order, the wildcard patterns, changes
// made behind its back, failures that leave it as it was, and a selection that only the
// user's clicks and keys report.

#include "controls/filelist/filelistbox.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::shownNames;

namespace {

// A sandbox whose List folder holds the named files (empty: the list does not look inside).
struct Folder : testsupport::Sandbox {
    explicit Folder(const QStringList &names = {})
    {
        for (const QString &name : names)
            write(name, {});
    }
    bool remove(const QString &name) const { return QFile::remove(entry(name)); }
};

// Sets the folder's modification time, by default to long ago: a listing read now may then
// be trusted while the folder does not change.
bool setModified(const QString &folder, timespec when = {1000000000, 0})
{
    const timespec times[2] = {when, when};
    return utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0) == 0;
}

// The order the list shows names in: case folded, then exact.
QStringList sortedLikeList(QStringList names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int byFolded = a.toCaseFolded().compare(b.toCaseFolded());
        return byFolded != 0 ? byFolded < 0 : a.compare(b) < 0;
    });
    return names;
}

} // namespace

class TestFileList : public QObject {
    Q_OBJECT

private slots:
    void listsRegularFilesAndLinksInOrder();
    void pattern_data();
    void pattern();
    void unreadableFolderLeavesTheList();
    void seesChangesWhenAsked_data();
    void seesChangesWhenAsked();
    void selectionAndFileClicked();
};

void TestFileList::listsRegularFilesAndLinksInOrder()
{
    const Folder temp(
        {"site.com.rtf", "Notes.txt", "plain", ".hidden", "Zeta", "новости", "Архив"});
    const QDir dir(temp.list());
    QVERIFY(dir.mkdir("Folder") && dir.mkdir(".git"));
    for (const auto &[target, link] : {std::pair{"plain", "linkToFile"},
                                       {"Folder", "linkToFolder"},
                                       {"nowhere", "linkToNowhere"},
                                       {"plain", ".hiddenLink"}})
        QVERIFY(QFile::link(dir.filePath(target), dir.filePath(link)));
    QCOMPARE(mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    // Bytes that are not UTF-8 could only be shown garbled and would name another path.
    const QByteArray raw = QFile::encodeName(temp.list()) + "/caf\xe9 \xff\xfe";
    QVERIFY(::close(::open(raw.constData(), O_CREAT | O_WRONLY, 0644)) == 0);
    const auto removeRaw = qScopeGuard([&] { ::unlink(raw.constData()); });
    FileListBox box;
    QVERIFY(box.setPath(temp.list()).ok());
    QCOMPARE(shownNames(box), QStringList({"linkToFile", "Notes.txt", "plain", "site.com.rtf",
                                           "Zeta", "Архив", "новости"}));
    QCOMPARE(box.listCount(), 7);
}

void TestFileList::pattern_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("expected");
    const QStringList all = {"a.b",  "ab",      "Alpha.rtf", "alphabet", "aXb",     "b",
                             "beta", "Beta[1]", "[x]",       "новый",    "Новости", "😀x"};
    const auto row = [&](const char *tag, const QString &pattern, const QStringList &expected,
                         const QStringList &names = {}) {
        QTest::newRow(tag) << (names.isEmpty() ? all : names) << pattern << expected;
    };
    for (const char *everything : {"", "*", "**", "*?*"})
        row(*everything ? everything : "empty", everything, sortedLikeList(all));
    row("one character", "?", {"b"});
    row("question mark in the middle", "a?b", {"a.b", "aXb"});
    row("question mark takes a whole emoji", "?x", {"😀x"});
    row("star between", "a*b", {"a.b", "ab", "aXb"});
    row("several stars", "*a*b*", {"a.b", "ab", "alphabet", "aXb"});
    row("names with a dot", "*.*", {"a.b", "Alpha.rtf"});
    row("brackets are no class", "[ab]", {});
    row("case ignored", "ALPHA*", {"Alpha.rtf", "alphabet"});
    row("cyrillic case ignored", "*НОВ*", {"Новости", "новый"});
    row("cyrillic question mark", "н?вы?", {"новый"});
    row("whole name only", "alpha", {});
    // Names are sorted eight letters at a time; those that agree on long beginnings, or
    // differ only in case, still come out as a plain folded comparison orders them.
    QRandomGenerator random(7);
    QStringList many;
    while (many.size() < 1500) {
        QString name = QStringList{"www.example", "WWW.Example", "www.examples.org", "news",
                                   "News",        "новости-",    "НОВОСТИ-"}[random.bounded(7)];
        for (int i = random.bounded(0, 14); i > 0; --i)
            name += QChar(u"aBz.-1Яя_"[random.bounded(9)]);
        if (!many.contains(name))
            many << name;
    }
    row("sorted like a folded comparison", "", sortedLikeList(many), many);
    // Names are searched side by side in one buffer, in whatever order the folder gives
    // them; text formed across the end of one and the start of the next is not found.
    for (const char *across : {"*ab*", "*xx*", "*ab?*", "*a*b*", "*x*x*"})
        row(across, across, {}, {"xa", "bx"});
    row("within one name", "*x*", {"bx", "xa"}, {"xa", "bx"});
}

void TestFileList::pattern()
{
    QFETCH(QStringList, names);
    QFETCH(QString, pattern);
    QFETCH(QStringList, expected);
    const Folder temp(names);
    FileListBox box;
    QVERIFY(box.setPath(temp.list()).ok() && box.setPattern(pattern).ok());
    QCOMPARE(shownNames(box), expected);
    QCOMPARE(box.listCount(), expected.size());
}

// A folder that cannot be read, or that vanishes, is reported; the list keeps its path,
// pattern and names.
void TestFileList::unreadableFolderLeavesTheList()
{
    const Folder temp;
    const QString good = temp.entry("good");
    QVERIFY(QDir(temp.list()).mkdir("good"));
    temp.write("good/entry", {});
    FileListBox box;
    QVERIFY(box.setPath(good).ok() && box.setPattern("*").ok());
    QCOMPARE(box.setPath(temp.entry("List")).message(),
             QStringLiteral("Cannot read the folder \"%1\": No such file or directory")
                 .arg(temp.entry("List")));
    QVERIFY(QDir(good).removeRecursively());
    QVERIFY(!box.setPattern("*e*") && !box.refresh());
    QCOMPARE(box.path() + ' ' + box.pattern(), good + " *");
    QCOMPARE(shownNames(box), QStringList{"entry"});
}

// Where the system reports no changes (no descriptor left for inotify when the list is
// made), the list reads the folder only when asked, never by polling, and then sees every
// change at once, even one that left the folder time as it was: a file system with a coarse
// clock may do that, as does restoring the time by hand.
void TestFileList::seesChangesWhenAsked_data()
{
    QTest::addColumn<int>("way"); // 1: by refresh, 2: folder unchanged for long, 4: time restored
    for (int way = 0; way < 8; ++way)
        QTest::addRow("%s, folder %s%s", way & 1 ? "refresh" : "pattern",
                      way & 2 ? "unchanged for long" : "just made",
                      way & 4 ? ", time restored" : "")
            << way;
}

void TestFileList::seesChangesWhenAsked()
{
    QFETCH(int, way);
    const Folder temp({"kept", "doomed"});
    QVERIFY(!(way & 2) || setModified(temp.list()));
    rlimit limit{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit none{0, limit.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &none), 0);
    FileListBox box;
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &limit), 0);
    QAbstractItemModelTester tester(box.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(box.setPath(temp.list()).ok());
    struct stat read {};
    QCOMPARE(stat(QFile::encodeName(temp.list()).constData(), &read), 0);
    const auto look = [&] {
        if (way & 4)
            setModified(temp.list(), read.st_mtim);
        return (way & 1 ? box.refresh() : box.setPattern("**")).ok() ? shownNames(box)
                                                                     : QStringList();
    };
    temp.write("added", {});
    QTest::qWait(way ? 0 : 2500);
    QCOMPARE(shownNames(box), QStringList({"doomed", "kept"}));
    QCOMPARE(look(), QStringList({"added", "doomed", "kept"}));
    QVERIFY(temp.remove("doomed"));
    QCOMPARE(look(), QStringList({"added", "kept"}));
    QVERIFY(temp.remove("added"));
    temp.write("again", {});
    QCOMPARE(look(), QStringList({"again", "kept"}));
}

// A selection lasts only while its name is shown; only the user's clicks and keys are
// reported as clicks, never what code does to the list.
void TestFileList::selectionAndFileClicked()
{
    const Folder temp({"apple", "banana", "cherry", "date"});
    FileListBox box;
    QAbstractItemModelTester tester(box.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    box.resize(200, 300);
    QVERIFY(box.setPath(temp.list()).ok());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setFocus();
    QSignalSpy clicked(&box, &FileListBox::fileClicked);
    // The selected name and how many clicks and keys have been reported so far.
    const auto state = [&] { return box.fileName() + ' ' + QString::number(clicked.count()); };
    const auto click = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(box.viewport(), Qt::LeftButton, modifiers,
                          box.visualRect(box.model()->index(row, 0)).center());
        return state();
    };

    box.setCurrentIndex(box.model()->index(2, 0));
    QVERIFY(box.setPattern("*e*") && box.refresh() && box.setPath(temp.list()));
    QCOMPARE(state(), "cherry 0");
    QVERIFY(box.setPattern("*a*"));
    QCOMPARE(state(), " 0");
    QVERIFY(box.setPattern("**")); // shown again, the name is not selected again
    QCOMPARE(state(), " 0");
    box.setCurrentIndex(box.model()->index(3, 0));
    QVERIFY(temp.remove("date") && box.refresh());
    QCOMPARE(state(), " 0");
    QCOMPARE(click(1), "banana 1");
    // A click on the name already selected shows it again; Control does not take it away.
    QCOMPARE(click(1), "banana 2");
    QCOMPARE(click(1, Qt::ControlModifier), "banana 3");
    QTest::keyClick(&box, Qt::Key_Down);
    QCOMPARE(state(), "cherry 4");
    // Below the last name there is nothing to click.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, QPoint(10, box.viewport()->height() - 5));
    QCOMPARE(state(), "cherry 4");
    QVERIFY(box.setPattern("*an*")); // by code, even while the list has the focus
    QCOMPARE(state(), " 4");
}

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
