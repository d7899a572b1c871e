#include "controls/filelist/dirlistbox.h"
#include "controls/filelist/filelistbox.h"
#include "controls/filelist/filelistmodel.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void makeFile(const QDir &dir, const QString &name)
{
    QFile file(dir.filePath(name));
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    file.write("{\\rtf1 x}");
}

QStringList shownNames(const FileListBox &box)
{
    QStringList names;
    for (int row = 0; row < box.model()->rowCount(); ++row)
        names << box.model()->index(row, 0).data().toString();
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

bool setFolderModified(const QString &path, timespec when)
{
    const timespec times[2] = {when, when};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// A folder last changed an hour ago: its listing can be trusted once read.
bool ageFolder(const QString &path)
{
    timespec old{};
    clock_gettime(CLOCK_REALTIME, &old);
    old.tv_sec -= 3600;
    return setFolderModified(path, old);
}

} // namespace

class TestFileList : public QObject {
    Q_OBJECT

private slots:
    void listsRegularFilesAndLinksInOrder();
    void sortsLikeCaseFoldedComparison();
    void pattern_data();
    void pattern();
    void searchStaysWithinOneName();
    void unreadableFolder_data();
    void unreadableFolder();
    void seesChangesBehindItsBack_data();
    void seesChangesBehindItsBack();
    void reusesListingOfUnchangedFolder();
    void distrustsRestoredModificationTime();
    void selectionSurvivesOnlyWhileShown();
    void userSelectionRaisesFileClicked();
    void modelKeepsItemModelRules();
    void dirListRemembersStartFolder();
};

void TestFileList::listsRegularFilesAndLinksInOrder()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    for (const char *name : {"site.com.rtf", "Notes.txt", "plain", ".hidden", ".profile.rtf",
                             "Zeta", "новости", "Архив", "with space"})
        makeFile(dir, QString::fromUtf8(name));
    QVERIFY(dir.mkdir("Folder"));
    QVERIFY(dir.mkdir(".git"));
    QVERIFY(QFile::link(dir.filePath("plain"), dir.filePath("linkToFile")));
    QVERIFY(QFile::link(dir.filePath("Folder"), dir.filePath("linkToFolder")));
    QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("linkToNowhere")));
    QVERIFY(QFile::link(dir.filePath("plain"), dir.filePath(".hiddenLink")));
    QCOMPARE(mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    // Bytes that are not UTF-8 could only be shown garbled and would name another path.
    const int raw = ::open((QFile::encodeName(temp.path()) + "/caf\xe9 \xff\xfe").constData(),
                           O_CREAT | O_WRONLY, 0644);
    QVERIFY(raw >= 0);
    ::close(raw);

    FileListBox box;
    QVERIFY(box.setPath(temp.path()).ok());
    const QStringList expected = {"linkToFile",
                                  "Notes.txt",
                                  "plain",
                                  "site.com.rtf",
                                  "with space",
                                  "Zeta",
                                  QString::fromUtf8("Архив"),
                                  QString::fromUtf8("новости")};
    QCOMPARE(shownNames(box), expected);
    QCOMPARE(box.listCount(), 8);
    QCOMPARE(box.path(), temp.path());
    QCOMPARE(box.fileName(), QString());
}

// The list sorts eight letters at a time; names that agree on long beginnings, or differ
// only in case, must still come out as a plain folded comparison orders them.
void TestFileList::sortsLikeCaseFoldedComparison()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    const QStringList stems = {"www.example",
                               "WWW.Example",
                               "www.examples.org",
                               "news",
                               "News",
                               QString::fromUtf8("новости-"),
                               QString::fromUtf8("НОВОСТИ-")};
    QRandomGenerator random(7);
    QStringList names;
    while (names.size() < 1500) {
        QString name = stems[random.bounded(stems.size())];
        for (int i = random.bounded(0, 14); i > 0; --i)
            name += QChar(u"aBz.-1Яя_"[random.bounded(9)]);
        if (!names.contains(name)) {
            names << name;
            makeFile(dir, name);
        }
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int byFolded = a.toCaseFolded().compare(b.toCaseFolded());
        return byFolded != 0 ? byFolded < 0 : a.compare(b) < 0;
    });

    FileListBox box;
    QVERIFY(box.setPath(temp.path()).ok());
    QCOMPARE(shownNames(box), names);
}

void TestFileList::pattern_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("expected");

    const QStringList all = {"a.b",
                             "ab",
                             "Alpha.rtf",
                             "alphabet",
                             "aXb",
                             "b",
                             "beta",
                             "Beta[1]",
                             "[x]",
                             QString::fromUtf8("новый"),
                             QString::fromUtf8("Новости"),
                             QString::fromUtf8("😀x")};
    // The expected lists are in the order the list shows them.
    QStringList sorted = all;
    std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        const int byFolded = a.toCaseFolded().compare(b.toCaseFolded());
        return byFolded != 0 ? byFolded < 0 : a.compare(b) < 0;
    });
    QTest::newRow("empty shows all") << "" << sorted;
    QTest::newRow("star") << "*" << sorted;
    QTest::newRow("empty search") << "**" << sorted;
    QTest::newRow("any non-empty") << "*?*" << sorted;
    QTest::newRow("one character") << "?" << QStringList{"b"};
    QTest::newRow("question marks") << "b??a" << QStringList{"beta"};
    QTest::newRow("question mark in the middle") << "a?b" << QStringList{"a.b", "aXb"};
    QTest::newRow("question mark takes a whole emoji")
        << "?x" << QStringList{QString::fromUtf8("😀x")};
    QTest::newRow("star between") << "a*b" << QStringList{"a.b", "ab", "aXb"};
    QTest::newRow("ends with") << "*b" << QStringList{"a.b", "ab", "aXb", "b"};
    QTest::newRow("dot is literal") << "a.b" << QStringList{"a.b"};
    QTest::newRow("names with a dot") << "*.*" << QStringList{"a.b", "Alpha.rtf"};
    QTest::newRow("bracket is literal") << "*[1]*" << QStringList{"Beta[1]"};
    QTest::newRow("brackets are no class") << "[x]" << QStringList{"[x]"};
    QTest::newRow("no class of letters") << "[ab]" << QStringList{};
    QTest::newRow("search for bracket") << "*[*" << QStringList{"[x]", "Beta[1]"};
    QTest::newRow("case ignored") << "ALPHA*" << QStringList{"Alpha.rtf", "alphabet"};
    QTest::newRow("search ignores case") << "*BET*" << QStringList{"alphabet", "beta", "Beta[1]"};
    QTest::newRow("cyrillic case ignored")
        << QString::fromUtf8("*НОВ*")
        << QStringList{QString::fromUtf8("Новости"), QString::fromUtf8("новый")};
    QTest::newRow("cyrillic question mark")
        << QString::fromUtf8("н?вы?") << QStringList{QString::fromUtf8("новый")};
    QTest::newRow("several stars") << "*a*b*" << QStringList{"a.b", "ab", "alphabet", "aXb"};
    QTest::newRow("no match") << "*zz*" << QStringList{};
    QTest::newRow("whole name only") << "alpha" << QStringList{};
}

void TestFileList::pattern()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, expected);

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    for (const char *name : {"a.b", "ab", "Alpha.rtf", "alphabet", "aXb", "b", "beta", "Beta[1]",
                             "[x]", "новый", "Новости", "😀x"})
        makeFile(dir, QString::fromUtf8(name));

    FileListBox box;
    QVERIFY(box.setPath(temp.path()).ok());
    QVERIFY(box.setPattern(pattern).ok());
    QCOMPARE(box.pattern(), pattern);
    QCOMPARE(shownNames(box), expected);
    QCOMPARE(box.listCount(), expected.size());
}

// The names are searched side by side in one buffer, in whatever order the folder gives
// them; text that only forms across the end of one name and the start of the next must
// not be found, whichever name comes first.
void TestFileList::searchStaysWithinOneName()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    makeFile(dir, "xa");
    makeFile(dir, "bx");

    FileListBox box;
    QVERIFY(box.setPath(temp.path()).ok());
    for (const char *pattern : {"*ab*", "*xx*", "*ab?*", "*a*b*", "*x*x*"}) {
        QVERIFY(box.setPattern(pattern).ok());
        QVERIFY2(shownNames(box).isEmpty(), pattern);
    }
    QVERIFY(box.setPattern("*x*").ok());
    QCOMPARE(shownNames(box), (QStringList{"bx", "xa"}));
}

void TestFileList::unreadableFolder_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "List"
                             << "No such file or directory";
    QTest::newRow("a file") << "file"
                            << "Not a directory";
    QTest::newRow("inside a file") << "file/List"
                                   << "Not a directory";
}

void TestFileList::unreadableFolder()
{
    QFETCH(QString, relative);
    QFETCH(QString, reason);

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    makeFile(dir, "file");
    QVERIFY(dir.mkdir("good"));
    makeFile(QDir(dir.filePath("good")), "entry");

    FileListBox box;
    QVERIFY(box.setPath(dir.filePath("good")).ok());
    QVERIFY(box.setPattern("*").ok());
    const QString path = dir.filePath(relative);
    const Status status = box.setPath(path);
    QVERIFY(!status.ok());
    QCOMPARE(status.message(),
             QStringLiteral("Cannot read the folder \"%1\": %2").arg(path, reason));
    QCOMPARE(box.path(), dir.filePath("good"));
    QCOMPARE(shownNames(box), QStringList{"entry"});

    // A folder that vanishes fails the next pattern too, and the list keeps what it had.
    QVERIFY(QDir(dir.filePath("good")).removeRecursively());
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
    QTest::newRow("pattern, folder just made") << false << false;
    QTest::newRow("refresh, folder just made") << true << false;
    QTest::newRow("pattern, folder unchanged for an hour") << false << true;
    QTest::newRow("refresh, folder unchanged for an hour") << true << true;
}

// Changes come within the same second as the read, without waiting: the list may not
// have been fooled by a folder time that has not moved on yet.
void TestFileList::seesChangesBehindItsBack()
{
    QFETCH(bool, byRefresh);
    QFETCH(bool, oldFolder);

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    makeFile(dir, "kept");
    makeFile(dir, "doomed");
    if (oldFolder)
        QVERIFY(ageFolder(temp.path()));

    FileListBox box;
    QVERIFY(box.setPath(temp.path()).ok());
    QCOMPARE(shownNames(box), (QStringList{"doomed", "kept"}));

    const auto look = [&] { return byRefresh ? box.refresh() : box.setPattern("**"); };
    makeFile(dir, "added");
    QVERIFY(look().ok());
    QCOMPARE(shownNames(box), (QStringList{"added", "doomed", "kept"}));
    QVERIFY(QFile::remove(dir.filePath("doomed")));
    QVERIFY(look().ok());
    QCOMPARE(shownNames(box), (QStringList{"added", "kept"}));
    QVERIFY(QFile::remove(dir.filePath("added")));
    makeFile(dir, "again");
    QVERIFY(look().ok());
    QCOMPARE(shownNames(box), (QStringList{"again", "kept"}));
}

void TestFileList::reusesListingOfUnchangedFolder()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    makeFile(dir, "alpha");
    makeFile(dir, "beta");
    QVERIFY(ageFolder(temp.path()));

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
    makeFile(dir, "gamma");
    QVERIFY(box.setPattern("**").ok());
    QCOMPARE(readCount(box), first + 3);
    QCOMPARE(box.listCount(), 3);
    QVERIFY(box.setPattern("*").ok());
    QCOMPARE(readCount(box), first + 4);

    // Once the change is old, one more read gives a listing that is trusted again.
    QVERIFY(ageFolder(temp.path()));
    QVERIFY(box.setPattern("*a*").ok());
    QVERIFY(box.setPattern("*m*").ok());
    QCOMPARE(readCount(box), first + 5);
    QCOMPARE(shownNames(box), QStringList{"gamma"});
}

// A file system with a coarse clock may leave the folder time as it was after a change;
// restoring the time by hand does the same. Either way the change must be seen.
void TestFileList::distrustsRestoredModificationTime()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    makeFile(dir, "alpha");

    for (const bool oldFolder : {false, true}) {
        if (oldFolder)
            QVERIFY(ageFolder(temp.path()));
        FileListBox box;
        QVERIFY(box.setPath(temp.path()).ok());
        const timespec before = folderModified(temp.path());
        const QString name = oldFolder ? "late" : "early";
        makeFile(dir, name);
        QVERIFY(setFolderModified(temp.path(), before));
        QVERIFY(box.setPattern("*").ok());
        QVERIFY2(shownNames(box).contains(name), qPrintable(name));
    }
}

void TestFileList::selectionSurvivesOnlyWhileShown()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    for (const char *name : {"apple", "banana", "cherry", "date"})
        makeFile(dir, name);

    FileListBox box;
    QSignalSpy clicked(&box, &FileListBox::fileClicked);
    QVERIFY(box.setPath(temp.path()).ok());
    QCOMPARE(box.fileName(), QString());
    box.setCurrentIndex(box.model()->index(2, 0));
    QCOMPARE(box.fileName(), QStringLiteral("cherry"));

    QVERIFY(box.setPattern("*e*").ok());
    QCOMPARE(box.fileName(), QStringLiteral("cherry"));
    QCOMPARE(box.currentIndex().row(), 1);
    QVERIFY(box.refresh().ok());
    QCOMPARE(box.fileName(), QStringLiteral("cherry"));
    QVERIFY(box.setPath(temp.path()).ok());
    QCOMPARE(box.fileName(), QStringLiteral("cherry"));

    QVERIFY(box.setPattern("*a*").ok());
    QCOMPARE(box.fileName(), QString());
    // Showing the name again does not bring the old selection back.
    QVERIFY(box.setPattern("**").ok());
    QCOMPARE(box.fileName(), QString());

    box.setCurrentIndex(box.model()->index(3, 0));
    QCOMPARE(box.fileName(), QStringLiteral("date"));
    QVERIFY(QFile::remove(dir.filePath("date")));
    QVERIFY(box.refresh().ok());
    QCOMPARE(box.fileName(), QString());
    QCOMPARE(box.listCount(), 3);

    // None of this was the user's doing.
    QCOMPARE(clicked.count(), 0);
}

void TestFileList::userSelectionRaisesFileClicked()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    for (const char *name : {"apple", "banana", "cherry", "date"})
        makeFile(dir, name);

    FileListBox box;
    box.resize(200, 300);
    QVERIFY(box.setPath(temp.path()).ok());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QSignalSpy clicked(&box, &FileListBox::fileClicked);
    const auto centre = [&](int row) {
        return box.visualRect(box.model()->index(row, 0)).center();
    };

    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, centre(1));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(box.fileName(), QStringLiteral("banana"));

    // A click on the name already selected shows it again.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, centre(1));
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(box.fileName(), QStringLiteral("banana"));

    // Control-click does not take the selection away.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::ControlModifier, centre(1));
    QCOMPARE(box.fileName(), QStringLiteral("banana"));

    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Down);
    QCOMPARE(box.fileName(), QStringLiteral("cherry"));
    const int afterDown = clicked.count();
    QCOMPARE(afterDown, 4);
    QTest::keyClick(&box, Qt::Key_Up);
    QTest::keyClick(&box, Qt::Key_Up);
    QCOMPARE(box.fileName(), QStringLiteral("apple"));
    QCOMPARE(clicked.count(), afterDown + 2);
    // At the top there is nothing to move to, so nothing changed.
    QTest::keyClick(&box, Qt::Key_Up);
    QCOMPARE(clicked.count(), afterDown + 2);
    QTest::keyClick(&box, Qt::Key_End);
    QCOMPARE(box.fileName(), QStringLiteral("date"));
    QCOMPARE(clicked.count(), afterDown + 3);

    // A click below the last name changes nothing.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, QPoint(10, box.viewport()->height() - 5));
    QCOMPARE(box.fileName(), QStringLiteral("date"));
    QCOMPARE(clicked.count(), afterDown + 3);

    // Changes made by code, even while the list has the focus, are not clicks.
    QVERIFY(box.setPattern("*an*").ok());
    QCOMPARE(box.fileName(), QString());
    QCOMPARE(clicked.count(), afterDown + 3);
}

void TestFileList::modelKeepsItemModelRules()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    for (const char *name : {"one", "two", "three", "four"})
        makeFile(dir, name);

    FileListBox box;
    QAbstractItemModelTester tester(box.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(box.setPath(temp.path()).ok());
    box.setCurrentIndex(box.model()->index(0, 0));
    QVERIFY(box.setPattern("*o*").ok());
    QVERIFY(box.setPattern("t*").ok());
    makeFile(dir, "ten");
    QVERIFY(box.refresh().ok());
    QCOMPARE(box.listCount(), 3);
    QVERIFY(box.setPattern("").ok());
    QCOMPARE(box.listCount(), 5);
}

void TestFileList::dirListRemembersStartFolder()
{
    const QString start = QDir::currentPath();
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    DirListBox dirList;
    QVERIFY(QDir::setCurrent(temp.path()));
    QCOMPARE(dirList.path(), start);
    DirListBox later;
    QCOMPARE(later.path(), QDir::currentPath());
    QVERIFY(QDir::setCurrent(start));
}

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
