#include "controls/filelist/dirlistbox.h"
#include "controls/richtext/richtextbox.h"
#include "store/store.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

using testsupport::Sandbox;

class TestStore : public QObject {
    Q_OBJECT

private slots:
    void pathRule_data();
    void pathRule();
    void createEntryNeverReplaces();
    void createEntryLeavesNothingOnFailure();
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
    QTest::newRow("ordinary") << "/tmp"
                              << "news"
                              << "/tmp/List"
                              << "/tmp/List/news";
    QTest::newRow("root base doubles the separator") << "/"
                                                     << "a.b"
                                                     << "//List"
                                                     << "//List/a.b";
    QTest::newRow("dots and spaces kept") << "/tmp"
                                          << " x.rtf "
                                          << "/tmp/List"
                                          << "/tmp/List/ x.rtf ";
    QTest::newRow("empty name names the folder") << "/tmp"
                                                 << ""
                                                 << "/tmp/List"
                                                 << "/tmp/List/";
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
    QDir::setCurrent(previous);
    // The base is fixed when the list is made, whatever the current folder is later.
    QCOMPARE(dir.path(), base);
    QCOMPARE(store::entryFolder(dir), folder);
    QCOMPARE(store::entryPath(dir, name), path);
}

void TestStore::createEntryNeverReplaces()
{
    Sandbox sandbox;
    sandbox.write(QStringLiteral("news"), "old bytes");
    RichTextBox box;
    const Status created = store::createEntry(sandbox.entry(QStringLiteral("news")), box);
    QVERIFY(!created);
    QVERIFY(created.message().contains(sandbox.entry(QStringLiteral("news"))));
    QCOMPARE(sandbox.read(QStringLiteral("news")), QByteArray("old bytes"));

    QVERIFY(store::createEntry(sandbox.entry(QStringLiteral("fresh")), box));
    QCOMPARE(sandbox.read(QStringLiteral("fresh")), testsupport::plainEntry(""));
}

void TestStore::createEntryLeavesNothingOnFailure()
{
    Sandbox sandbox;
    RichTextBox box;
    // A name inside a folder that does not exist cannot be created at all.
    QVERIFY(!store::createEntry(sandbox.entry(QStringLiteral("missing/x")), box));
    QCOMPARE(QDir(sandbox.list()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

void TestStore::deleteEntryRemovesOnlyFiles()
{
    Sandbox sandbox;
    sandbox.write(QStringLiteral("target"), "t");
    QVERIFY(QDir(sandbox.list()).mkdir(QStringLiteral("folder")));
    QVERIFY(QFile::link(sandbox.entry(QStringLiteral("target")),
                        sandbox.entry(QStringLiteral("link"))));

    // A link goes, its target stays.
    QVERIFY(store::deleteEntry(sandbox.entry(QStringLiteral("link"))));
    QVERIFY(!QFileInfo(sandbox.entry(QStringLiteral("link"))).isSymLink());
    QVERIFY(sandbox.exists(QStringLiteral("target")));

    const Status folder = store::deleteEntry(sandbox.entry(QStringLiteral("folder")));
    QVERIFY(!folder);
    QVERIFY(QFileInfo(sandbox.entry(QStringLiteral("folder"))).isDir());
    QVERIFY(!store::deleteEntry(sandbox.list() + QLatin1Char('/')));
    QVERIFY(QFileInfo(sandbox.list()).isDir());

    const Status missing = store::deleteEntry(sandbox.entry(QStringLiteral("gone")));
    QVERIFY(!missing);
    QVERIFY2(missing.message().contains(QLatin1String("No such file or directory")),
             qPrintable(missing.message()));
}

void TestStore::saveEntryReplacesWholeAndKeepsLinks()
{
    Sandbox sandbox;
    RichTextBox box;
    box.setPlainText(QStringLiteral("new"));
    // The longest name the file system allows leaves no room for a temporary suffix.
    const QString longest(255, QLatin1Char('n'));
    QVERIFY(store::saveEntry(sandbox.entry(longest), box));
    QCOMPARE(sandbox.read(longest), testsupport::plainEntry("new"));

    sandbox.write(QStringLiteral("target"), "old");
    QVERIFY(QFile::setPermissions(sandbox.entry(QStringLiteral("target")),
                                  QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(QFile::link(QStringLiteral("target"), sandbox.entry(QStringLiteral("link"))));
    QVERIFY(store::saveEntry(sandbox.entry(QStringLiteral("link")), box));
    QVERIFY(QFileInfo(sandbox.entry(QStringLiteral("link"))).isSymLink());
    QCOMPARE(sandbox.read(QStringLiteral("target")), testsupport::plainEntry("new"));
    // The replaced file keeps the old one's permissions (no group or other bits here).
    QCOMPARE(QFileInfo(sandbox.entry(QStringLiteral("target"))).permissions() & 0x0fff,
             QFile::ReadUser | QFile::WriteUser);

    // An entry replaced by a folder is not written into, and nothing is left behind.
    QVERIFY(QDir(sandbox.list()).mkdir(QStringLiteral("folder")));
    QVERIFY(!store::saveEntry(sandbox.entry(QStringLiteral("folder")), box));
    QVERIFY(QFileInfo(sandbox.entry(QStringLiteral("folder"))).isDir());
    QCOMPARE(QDir(sandbox.list()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 3);
}

void TestStore::nameProblems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("refused");
    QTest::newRow("plain") << "news" << false;
    QTest::newRow("dots inside") << "a.b.c" << false;
    QTest::newRow("spaces at both ends") << "  x  " << false;
    QTest::newRow("Cyrillic") << QStringLiteral("Новости") << false;
    QTest::newRow("wildcards") << "*?[x]" << false;
    QTest::newRow("backslash is a plain character here") << "a\\b" << false;
    QTest::newRow("255 bytes") << QString(255, QLatin1Char('n')) << false;
    QTest::newRow("256 bytes") << QString(256, QLatin1Char('n')) << true;
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
