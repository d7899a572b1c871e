// Bookmark imports: files browsers wrote, and files the tool refuses.

#include "bookmarks/bookmarks.h"
#include "entryfile/entryfile.h"
#include "rtf/rtfdocumentsink.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTest>
#include <QTextDocument>

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
            found << name + " => (too large)";
            continue;
        }
        const QByteArray bytes = contents(path);
        QTextDocument document;
        rtf::readInto(bytes.toStdString(), document);
        found << name + " => " +
                     rtf::toPlainText(bytes.toStdString()).trimmed().split(u'\n').join(" | ") +
                     (rtf::write(document) == bytes ? "" : " [not in the program's form]");
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
    return QString::asprintf(
        "%lld imported, %lld duplicates, %lld other, %lld unreadable, %lld failed", s.imported,
        s.duplicates, s.otherSchemes, s.unreadable, s.failures.size());
}

} // namespace

class TestBookmarks : public QObject {
    Q_OBJECT

private slots:
    void import_data();
    void import();
    void exportThenImport();
    void toolRefuses_data();
    void toolRefuses();
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
    bookmarks::ImportSummary first, again;
    QCOMPARE(importFile(sandbox.list(), html, first), summary);
    QCOMPARE(entries(sandbox.list()), expected);
    // The same file again adds nothing.
    importFile(sandbox.list(), html, again);
    QCOMPARE(again.imported, 0);
    QCOMPARE(again.duplicates, first.imported + first.duplicates);
    QCOMPARE(entries(sandbox.list()), expected);
}

// Exported and imported into another list, names, addresses and the rest of the text come
// back; an entry without an address is counted and left out.
void TestBookmarks::exportThenImport()
{
    Sandbox sandbox;
    bookmarks::ImportSummary summary;
    importFile(sandbox.list(), contents(kData + "firefox.html"), summary);
    const QStringList imported = entries(sandbox.list());
    sandbox.write("notes only", testsupport::plainEntry("no address here"));
    bookmarks::ExportSummary exported;
    const QByteArray html = bookmarks::exportList(sandbox.list(), exported);
    QCOMPARE(exported.exported, 3);
    QCOMPARE(exported.withoutAddress, 1);
    const QString again = sandbox.base() + "/Again";
    QVERIFY(QDir().mkdir(again));
    importFile(again, html, summary);
    QCOMPARE(entries(again), imported);
}

void TestBookmarks::toolRefuses_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<bool>("withList");
    QTest::addColumn<QString>("says");
    const auto row = [](const char *tag, const QByteArray &html, bool withList, const char *says) {
        QTest::newRow(tag) << html << withList << says;
    };
    // The parser checks each attribute of a tag against all those before it.
    QByteArray many = "<!DOCTYPE NETSCAPE-Bookmark-file-1><DL>", attributes = many + "<DT><A";
    for (int i = 0; i < 150000; ++i)
        attributes += " a" + QByteArray::number(i);
    for (int i = 0; i <= bookmarks::kMaxBookmarks; ++i)
        many += "<DT><A HREF=\"https://e.example/" + QByteArray::number(i) + "\">Site</A>\n";
    row("too many", many, true, "more than 100000 bookmarks");
    row("endless attributes", attributes + ">", true, "too long");
    row("no List folder", contents(kData + "firefox.html"), false, "no list folder");
}

// A refused file changes nothing, and the tool says why with a failing exit code.
void TestBookmarks::toolRefuses()
{
    QFETCH(QByteArray, html);
    QFETCH(bool, withList);
    QFETCH(QString, says);
    Sandbox sandbox(withList);
    QFile file(sandbox.base() + "/bookmarks.html");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(html) == html.size());
    file.close();
    QProcess tool;
    tool.start(SITEBOOK_BOOKMARKS_TOOL, {"import", file.fileName()});
    QVERIFY(tool.waitForFinished(120000));
    const QString output = tool.readAllStandardOutput() + tool.readAllStandardError();
    QVERIFY2(output.contains(says), qPrintable(output));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 1);
    QCOMPARE(testsupport::folderContents(sandbox.list()), QStringList());
}

QTEST_MAIN(TestBookmarks)
#include "tst_bookmarks.moc"
