#include "controls/filelist/filelistbox.h"
#include "controls/filelist/filelistmodel.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::shownNames;

namespace {

// A fresh folder holding the named files.
class Folder : public QTemporaryDir {
public:
    explicit Folder(const QStringList &names = {})
    {
        for (const QString &name : names)
            add(name);
    }
    void add(const QString &name) const
    {
        QFile file(filePath(name));
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
        file.write("{\\rtf1 x}");
    }
    bool remove(const QString &name) const { return QFile::remove(filePath(name)); }
};

// The order the list shows names in: case folded, then exact.
QStringList sortedLikeList(QStringList names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int byFolded = a.toCaseFolded().compare(b.toCaseFolded());
        return byFolded != 0 ? byFolded < 0 : a.compare(b) < 0;
    });
    return names;
}

int readCount(const FileListBox &box)
{
    return qobject_cast<const FileListModel *>(box.model())->readCount();
}

timespec folderModified(const QString &path)
{
    struct stat info {};
    stat(QFile::encodeName(path).constData(), &info);
    return info.st_mtim;
}

// By default long ago: a folder unchanged since then can have its listing trusted once read.
bool setFolderModified(const QString &path, timespec when = {1000000000, 0})
{
    const timespec times[2] = {when, when};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

} // namespace

class TestFileList : public QObject {
    Q_OBJECT

private slots:
    void listsRegularFilesAndLinksInOrder();
    void pattern_data();
    void pattern();
    void unreadableFolder_data();
    void unreadableFolder();
    void seesChangesBehindItsBack_data();
    void seesChangesBehindItsBack();
    void reusesListingOfUnchangedFolder();
    void withoutChangeReportsReadsOnlyWhenAsked();
    void selectionAndFileClicked();
};

void TestFileList::listsRegularFilesAndLinksInOrder()
{
    const Folder temp({"site.com.rtf", "Notes.txt", "plain", ".hidden", ".profile.rtf", "Zeta",
                       "новости", "Архив", "with space"});
    const QDir dir(temp.path());
    QVERIFY(dir.mkdir("Folder"));
    QVERIFY(dir.mkdir(".git"));
    for (const auto &[target, link] : {std::pair{"plain", "linkToFile"},
                                       {"Folder", "linkToFolder"},
                                       {"nowhere", "linkToNowhere"},
                                       {"plain", ".hiddenLink"}})
        QVERIFY(QFile::link(dir.filePath(target), dir.filePath(link)));
    QCOMPARE(mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    // Bytes that are not UTF-8 could only be shown garbled and would name another path.
    const QByteArray rawName = QFile::encodeName(temp.path()) + "/caf\xe9 \xff\xfe";
    const int raw = ::open(rawName.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(raw >= 0);
    ::close(raw);
    const auto removeRaw = qScopeGuard([&] { ::unlink(rawName.constData()); });

    FileListBox box;
    QVERIFY(box.setPath(temp.path()).ok());
    QCOMPARE(shownNames(box), QStringList({"linkToFile", "Notes.txt", "plain", "site.com.rtf",
                                           "with space", "Zeta", "Архив", "новости"}));
    QCOMPARE(box.listCount(), 8);
    QCOMPARE(box.fileName(), QString());
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
    row("ends with", "*b", {"a.b", "ab", "aXb", "b"});
    row("dot is literal", "a.b", {"a.b"});
    row("names with a dot", "*.*", {"a.b", "Alpha.rtf"});
    row("brackets are no class", "[x]", {"[x]"});
    row("no class of letters", "[ab]", {});
    row("search for bracket", "*[*", {"[x]", "Beta[1]"});
    row("case ignored", "ALPHA*", {"Alpha.rtf", "alphabet"});
    row("search ignores case", "*BET*", {"alphabet", "beta", "Beta[1]"});
    row("cyrillic case ignored", "*НОВ*", {"Новости", "новый"});
    row("cyrillic question mark", "н?вы?", {"новый"});
    row("several stars", "*a*b*", {"a.b", "ab", "alphabet", "aXb"});
    row("whole name only", "alpha", {});

    // The list sorts eight letters at a time; names that agree on long beginnings, or
    // differ only in case, must still come out as a plain folded comparison orders them.
    const QStringList stems = {"www.example", "WWW.Example", "www.examples.org", "news",
                               "News",        "новости-",    "НОВОСТИ-"};
    QRandomGenerator random(7);
    QStringList many;
    while (many.size() < 1500) {
        QString name = stems[random.bounded(stems.size())];
        for (int i = random.bounded(0, 14); i > 0; --i)
            name += QChar(u"aBz.-1Яя_"[random.bounded(9)]);
        if (!many.contains(name))
            many << name;
    }
    row("sorted like a folded comparison", "", sortedLikeList(many), many);
    // The names are searched side by side in one buffer, in whatever order the folder
    // gives them; text formed across the end of one name and the start of the next must
    // not be found, whichever name comes first.
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
    QVERIFY(box.setPath(temp.path()).ok());
    QVERIFY(box.setPattern(pattern).ok());
    QCOMPARE(box.pattern(), pattern);
    QCOMPARE(shownNames(box), expected);
    QCOMPARE(box.listCount(), expected.size());
}

void TestFileList::unreadableFolder_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("reason");
    for (const auto &[relative, reason] : {std::pair{"List", "No such file or directory"},
                                           {"file", "Not a directory"},
                                           {"file/List", "Not a directory"}})
        QTest::newRow(relative) << relative << reason;
}

void TestFileList::unreadableFolder()
{
    QFETCH(QString, relative);
    QFETCH(QString, reason);
    const Folder temp({"file"});
    QVERIFY(QDir(temp.path()).mkdir("good"));
    temp.add("good/entry");

    FileListBox box;
    QVERIFY(box.setPath(temp.filePath("good")).ok());
    QVERIFY(box.setPattern("*").ok());
    const QString path = temp.filePath(relative);
    const Status status = box.setPath(path);
    QVERIFY(!status.ok());
    QCOMPARE(status.message(),
             QStringLiteral("Cannot read the folder \"%1\": %2").arg(path, reason));
    QCOMPARE(box.path(), temp.filePath("good"));
    QCOMPARE(shownNames(box), QStringList{"entry"});

    // A folder that vanishes fails the next pattern too, and the list keeps what it had.
    QVERIFY(QDir(temp.filePath("good")).removeRecursively());
    const Status again = box.setPattern("*e*");
    QVERIFY(!again.ok());
    QVERIFY2(again.message().endsWith(": No such file or directory"), qPrintable(again.message()));
    QCOMPARE(box.pattern(), QStringLiteral("*"));
    QCOMPARE(shownNames(box), QStringList{"entry"});
    QVERIFY(!box.refresh().ok());
}

void TestFileList::seesChangesBehindItsBack_data()
{
    QTest::addColumn<bool>("byRefresh");
    QTest::addColumn<bool>("oldFolder");
    // A file system with a coarse clock may leave the folder time as it was after a
    // change; restoring the time by hand does the same. The change must still be seen.
    QTest::addColumn<bool>("timeRestored");
    for (int row = 0; row < 8; ++row)
        QTest::addRow("%s, folder %s%s", row & 1 ? "refresh" : "pattern",
                      row & 2 ? "unchanged for long" : "just made",
                      row & 4 ? ", time restored" : "")
            << bool(row & 1) << bool(row & 2) << bool(row & 4);
}

// Changes come within the same second as the read, without waiting: the list may not
// have been fooled by a folder time that has not moved on yet.
void TestFileList::seesChangesBehindItsBack()
{
    QFETCH(bool, byRefresh);
    QFETCH(bool, oldFolder);
    QFETCH(bool, timeRestored);
    const Folder temp({"kept", "doomed"});
    if (oldFolder)
        QVERIFY(setFolderModified(temp.path()));

    FileListBox box;
    QAbstractItemModelTester tester(box.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(box.setPath(temp.path()).ok());
    QCOMPARE(shownNames(box), QStringList({"doomed", "kept"}));
    const timespec read = folderModified(temp.path());
    const auto look = [&] {
        if (timeRestored)
            setFolderModified(temp.path(), read);
        return byRefresh ? box.refresh() : box.setPattern("**");
    };
    temp.add("added");
    QVERIFY(look().ok());
    QCOMPARE(shownNames(box), QStringList({"added", "doomed", "kept"}));
    QVERIFY(temp.remove("doomed"));
    QVERIFY(look().ok());
    QCOMPARE(shownNames(box), QStringList({"added", "kept"}));
    QVERIFY(temp.remove("added"));
    temp.add("again");
    QVERIFY(look().ok());
    QCOMPARE(shownNames(box), QStringList({"again", "kept"}));
    QCOMPARE(box.listCount(), 2);
}

void TestFileList::reusesListingOfUnchangedFolder()
{
    const Folder temp({"alpha", "beta"});
    QVERIFY(setFolderModified(temp.path()));

    FileListBox box;
    QVERIFY(box.setPath(temp.path()).ok());
    const int first = readCount(box);
    for (const char *pattern : {"*a*", "*al*", "*alp*", "**", "?eta"})
        QVERIFY(box.setPattern(pattern).ok());
    QCOMPARE(readCount(box), first);
    QCOMPARE(shownNames(box), QStringList{"beta"});

    // An explicit refresh or a new path always reads.
    QVERIFY(box.refresh().ok());
    QCOMPARE(readCount(box), first + 1);
    QVERIFY(box.setPath(temp.path()).ok());
    QCOMPARE(readCount(box), first + 2);

    // A change moves the folder's time, and a listing read in the same moment as that
    // change is not trusted until the time is safely in the past.
    temp.add("gamma");
    QVERIFY(box.setPattern("**").ok());
    QCOMPARE(readCount(box), first + 3);
    QCOMPARE(box.listCount(), 3);
    QVERIFY(box.setPattern("*").ok());
    QCOMPARE(readCount(box), first + 4);

    // Once the change is old, one more read gives a listing that is trusted again.
    QVERIFY(setFolderModified(temp.path()));
    QVERIFY(box.setPattern("*a*").ok());
    QVERIFY(box.setPattern("*m*").ok());
    QCOMPARE(readCount(box), first + 5);
    QCOMPARE(shownNames(box), QStringList{"gamma"});
}

// Where the system cannot report changes (here: no descriptor left for inotify when the
// list is made), the list reads the folder only when asked, as it always did; it never
// falls back to polling.
void TestFileList::withoutChangeReportsReadsOnlyWhenAsked()
{
    const Folder temp({"alpha"});
    rlimit limit{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit none{0, limit.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &none), 0);
    FileListBox box;
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &limit), 0);
    QVERIFY(box.setPath(temp.path()).ok());
    temp.add("beta");
    QTest::qWait(2500);
    QCOMPARE(shownNames(box), QStringList{"alpha"});
    QVERIFY(box.refresh().ok());
    QCOMPARE(shownNames(box), QStringList({"alpha", "beta"}));
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
    QVERIFY(box.setPath(temp.path()).ok());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setFocus();
    QSignalSpy clicked(&box, &FileListBox::fileClicked);
    // The selected name and how many times the user has clicked or keyed so far.
    const auto state = [&] {
        return QStringLiteral("%1 %2").arg(box.fileName()).arg(clicked.count());
    };

    box.setCurrentIndex(box.model()->index(2, 0));
    QVERIFY(box.setPattern("*e*").ok());
    QCOMPARE(state(), "cherry 0");
    QVERIFY(box.refresh().ok());
    QVERIFY(box.setPath(temp.path()).ok());
    QCOMPARE(state(), "cherry 0");
    QVERIFY(box.setPattern("*a*").ok());
    QCOMPARE(state(), " 0");
    // Showing the name again does not bring the old selection back.
    QVERIFY(box.setPattern("**").ok());
    QCOMPARE(state(), " 0");
    box.setCurrentIndex(box.model()->index(3, 0));
    QVERIFY(temp.remove("date"));
    QVERIFY(box.refresh().ok());
    QCOMPARE(state(), " 0");

    const auto click = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(box.viewport(), Qt::LeftButton, modifiers,
                          box.visualRect(box.model()->index(row, 0)).center());
    };
    click(1);
    QCOMPARE(state(), "banana 1");
    // A click on the name already selected shows it again.
    click(1);
    QCOMPARE(state(), "banana 2");
    // Control-click does not take the selection away.
    click(1, Qt::ControlModifier);
    QCOMPARE(box.fileName(), QStringLiteral("banana"));
    clicked.clear();
    QTest::keyClick(&box, Qt::Key_Down);
    QCOMPARE(state(), "cherry 1");
    // At the top there is nothing to move to, so nothing changed.
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&box, Qt::Key_Up);
    QCOMPARE(state(), "apple 3");
    // A click below the last name changes nothing.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, QPoint(10, box.viewport()->height() - 5));
    QCOMPARE(state(), "apple 3");
    // Changes made by code, even while the list has the focus, are not clicks.
    QVERIFY(box.setPattern("*an*").ok());
    QCOMPARE(state(), " 3");
}

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
