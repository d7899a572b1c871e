#include "bookmarks/bookmarkfile.h"
#include "bookmarks/bookmarks.h"
#include "controls/richtext/richtextbox.h"
#include "entryfile/entryfile.h"
#include "rtf/rtfreader.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <unistd.h>

using testsupport::Sandbox;

namespace {

// Bookmark files made for these tests, each beside a .expected file: the summary, the
// entries made before the import ("existing: name => text") and the list afterwards.
const QString kData = QStringLiteral(SITEBOOK_SOURCE_DIR "/tests/data/bookmarks/");

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file in the folder, hidden ones included, as "name => text | text", sorted. An
// entry not in the program's own form (saved again, its bytes would change) says so.
QStringList entries(const QString &folder)
{
    QStringList found;
    for (const QString &name : testsupport::folderContents(folder)) {
        const QString path = folder + QLatin1Char('/') + name;
        if (QFileInfo(path).size() > entryfile::kMaxBytes) {
            found << name + QStringLiteral(" => (too large)");
            continue;
        }
        const QByteArray bytes = contents(path);
        RichTextBox box;
        const bool ownForm = box.loadFile(path) && box.textRTF() == bytes;
        found << name + QStringLiteral(" => ") +
                     rtf::toPlainText(bytes.toStdString()).trimmed().split(u'\n').join(u" | ") +
                     (ownForm ? QString() : QStringLiteral(" [not in the program's form]"));
    }
    found.sort();
    return found;
}

QString importFile(const QString &list, const QByteArray &html, bookmarks::ImportSummary &s)
{
    bookmarks::BookmarkFile file;
    if (const Status read = bookmarks::read(html, file); !read)
        return read.message();
    s = bookmarks::importInto(list, file);
    return QStringLiteral("%1 imported, %2 duplicates, %3 other, %4 unreadable, %5 failed")
        .arg(s.imported)
        .arg(s.duplicates)
        .arg(s.otherSchemes)
        .arg(s.unreadable)
        .arg(s.failures.size());
}

QByteArray bookmarkFile(int count, const char *addressPattern)
{
    QByteArray html = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
    for (int i = 1; i <= count; ++i)
        html += QStringLiteral("<DT><A HREF=\"%1\">Site %2</A>\n")
                    .arg(QString::fromLatin1(addressPattern).arg(i))
                    .arg(i)
                    .toUtf8();
    return html;
}

} // namespace

class TestBookmarks : public QObject {
    Q_OBJECT

private slots:
    void import_data();
    void import();
    void refused_data();
    void refused();
    void diskFullPartWay();
    void exportThenImport();
};

void TestBookmarks::import_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &html : QDir(kData).entryList({"*.html"}))
        QTest::newRow(qPrintable(html)) << html.chopped(5);
}

void TestBookmarks::import()
{
    QFETCH(QString, name);
    QString summary;
    QStringList expected;
    Sandbox sandbox;
    for (const QString &line :
         QString::fromUtf8(contents(kData + name + ".expected")).split('\n')) {
        if (line.startsWith("summary: ")) {
            summary = line.mid(9);
        } else if (line.startsWith("existing: huge")) {
            // Larger than an entry may be, so its address cannot be read.
            sandbox.write("huge", QByteArray());
            QVERIFY(::truncate(QFile::encodeName(sandbox.entry("huge")), 65 << 20) == 0);
        } else if (line.startsWith("existing: ")) {
            sandbox.write(line.mid(10).section(" => ", 0, 0),
                          testsupport::plainEntry(line.section(" => ", 1).toUtf8()));
        } else if (!line.isEmpty() && !line.startsWith('#')) {
            expected << line;
        }
    }
    expected.sort();
    const QByteArray html = contents(kData + name + ".html");
    bookmarks::ImportSummary first;
    QCOMPARE(importFile(sandbox.list(), html, first), summary);
    QCOMPARE(entries(sandbox.list()), expected);

    // The same file again adds nothing.
    bookmarks::ImportSummary again;
    importFile(sandbox.list(), html, again);
    QCOMPARE(again.imported, 0);
    QCOMPARE(again.duplicates, first.imported + first.duplicates);
    QCOMPARE(entries(sandbox.list()), expected);
}

void TestBookmarks::refused_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("file"); // empty for a file holding html
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::addColumn<int>("entries");
    const QByteArray firefox = contents(kData + "firefox.html");
    // The parser checks each attribute of a tag against all those before it.
    QByteArray attributes = "<!DOCTYPE NETSCAPE-Bookmark-file-1><DL><DT><A";
    for (int i = 0; i < 150000; ++i)
        attributes += " a" + QByteArray::number(i);

    QTest::newRow("imports") << firefox << "" << 0 << "Imported: 3" << 3;
    QTest::newRow("a web page") << QByteArray("<html><p><a href=\"https://a.example/\">a</a></p>")
                                << "" << 1 << "not a bookmark file" << 0;
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe<", 18) << "" << 1
                            << "not a bookmark file" << 0;
    QTest::newRow("no bookmarks") << bookmarkFile(0, "") << "" << 1 << "holds no bookmarks" << 0;
    QTest::newRow("too many") << bookmarkFile(bookmarks::kMaxBookmarks + 1, "https://e.example/%1")
                              << "" << 1 << "more than 100000 bookmarks" << 0;
    QTest::newRow("endless attributes") << attributes + ">"
                                        << "" << 1 << "too long" << 0;
    QTest::newRow("missing") << QByteArray() << "missing" << 1 << "No such file" << 0;
    QTest::newRow("a folder") << QByteArray() << "List" << 1 << "Is a directory" << 0;
    QTest::newRow("no List folder") << firefox << "no List" << 1 << "no list folder" << 0;
}

void TestBookmarks::refused()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, file);
    QFETCH(int, status);
    QFETCH(QString, says);
    QFETCH(int, entries);
    Sandbox sandbox(file != "no List");
    QString path = sandbox.base() + '/' + file;
    if (file.isEmpty() || file == "no List") {
        path = sandbox.base() + "/bookmarks.html";
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(html) == html.size());
    }
    QProcess tool;
    tool.start(SITEBOOK_BOOKMARKS_TOOL, {"import", path});
    QVERIFY(tool.waitForFinished(120000));
    const QString output = tool.readAllStandardOutput() + tool.readAllStandardError();
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), status);
    QVERIFY2(output.contains(says), qPrintable(output));
    QCOMPARE(testsupport::folderContents(sandbox.list()).size(), entries);
}

void TestBookmarks::diskFullPartWay()
{
    Sandbox sandbox;
    testsupport::SmallDisk disk(sandbox.list(), 256);
    if (!disk.mounted())
        QSKIP(qPrintable(disk.why()));
    // Room for about ten one-page entries of the twenty-five.
    sandbox.write(testsupport::SmallDisk::fillerName(), QByteArray(216 << 10, 'x'));
    const QByteArray html = bookmarkFile(25, "https://example.org/%1");
    QStringList whole;
    for (int i = 1; i <= 25; ++i)
        whole << QStringLiteral("Site %1 => https://example.org/%1").arg(i);
    whole.sort();
    bookmarks::ImportSummary first;
    importFile(sandbox.list(), html, first);
    QVERIFY(first.imported > 0 && first.failures.size() > 0);
    QCOMPARE(first.imported + first.failures.size(), 25);
    QVERIFY2(first.failures.first().contains("No space left on device"),
             qPrintable(first.failures.first()));

    // Only whole entries, no temporaries; once there is room, the same import finishes.
    disk.free();
    const QStringList written = entries(sandbox.list());
    QCOMPARE(written.size(), first.imported);
    for (const QString &entry : written)
        QVERIFY2(whole.contains(entry), qPrintable(entry));
    bookmarks::ImportSummary rerun;
    QCOMPARE(importFile(sandbox.list(), html, rerun),
             QStringLiteral("%1 imported, %2 duplicates, 0 other, 0 unreadable, 0 failed")
                 .arg(first.failures.size())
                 .arg(first.imported));
    QCOMPARE(entries(sandbox.list()), whole);
}

void TestBookmarks::exportThenImport()
{
    Sandbox sandbox;
    bookmarks::ImportSummary summary;
    importFile(sandbox.list(), contents(kData + "firefox.html"), summary);
    sandbox.write("notes only", testsupport::plainEntry("no address here"));
    bookmarks::ExportSummary exported;
    const QByteArray html = bookmarks::exportList(sandbox.list(), exported);
    QCOMPARE(exported.exported, 3);
    QCOMPARE(exported.withoutAddress, 1);

    // Names, addresses and the rest of the text come back, the rest as the description.
    const QString again = sandbox.base() + "/Again";
    QVERIFY(QDir().mkdir(again));
    QCOMPARE(importFile(again, html, summary),
             "3 imported, 0 duplicates, 0 other, 0 unreadable, 0 failed");
    QStringList before = entries(sandbox.list());
    before.removeAll("notes only => no address here");
    QCOMPARE(entries(again), before);
}

QTEST_MAIN(TestBookmarks)
#include "tst_bookmarks.moc"
