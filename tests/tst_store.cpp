// Entry operations over the rich-text control: what a refused load leaves in the box,
// the box emptied for typing, and deleting that removes one file or link and nothing else.

#include "rtf/rtfdefaults.h"
#include "store/store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestStore : public QObject {
    Q_OBJECT

private slots:
    void refusedLoadLeavesTheBox_data();
    void refusedLoadLeavesTheBox();
    void emptiedBoxTypesInTheDefaultFormat();
    void deleteRemovesOneFileOrLink();
};

void TestStore::refusedLoadLeavesTheBox_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QString tooMuch = QStringLiteral("it holds more than 2000000 characters or 200000 "
                                           "paragraphs, more than Sitebook can show");
    const auto row = [](const char *tag, const QByteArray &bytes, const QString &reason) {
        QTest::newRow(tag) << bytes << reason;
    };
    row("missing", {}, "No such file or directory");
    row("too many paragraphs", "{\\rtf1 " + QByteArray("p\\par ").repeated(200'001) + "}", tooMuch);
    row("too many characters", "{\\rtf1 " + QByteArray("word ").repeated(400'001) + "}", tooMuch);
}

// A document cut short must never reach a box whose text may be saved back.
void TestStore::refusedLoadLeavesTheBox()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString good = dir.filePath("good");
    const QString bad = dir.filePath("bad");
    QVERIFY(writeFile(good, "{\\rtf1 http://example.com/ news}"));
    QVERIFY(bytes.isEmpty() || writeFile(bad, bytes));
    RichTextBox box;
    QVERIFY(store::loadEntry(good, box));
    const Status status = store::loadEntry(bad, box);
    QCOMPARE(status.message(), QStringLiteral("Cannot read the entry \"%1\": %2").arg(bad, reason));
    QCOMPARE(box.fileName(), good);
    QCOMPARE(box.toPlainText(), QStringLiteral("http://example.com/ news"));
}

// Emptied, the box forgets the format of what it showed: typed text is saved in the
// plain form, not in the last document's font.
void TestStore::emptiedBoxTypesInTheDefaultFormat()
{
    RichTextBox box;
    box.setTextRTF("{\\rtf1{\\fonttbl{\\f0 Courier New;}}\\f0\\fs48\\b\\ul\\qc big}");
    box.setText(QString());
    QCOMPARE(box.textRTF(), RichTextBox().textRTF());
    // Formatting chosen in a box that is already empty is reset too.
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    box.setCurrentCharFormat(bold);
    box.setAlignment(Qt::AlignHCenter);
    box.setText(QString());
    QCOMPARE(box.currentCharFormat().font(), rtf::entryFont());
    QCOMPARE(box.document()->firstBlock().blockFormat().alignment(), Qt::AlignLeft);
}

void TestStore::deleteRemovesOneFileOrLink()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("target"), "t"));
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QVERIFY(QFile::link("target", dir.filePath("link")));
    QVERIFY(store::deleteEntry(dir.filePath("link")));
    QVERIFY(!QFileInfo(dir.filePath("link")).isSymLink() && QFile::exists(dir.filePath("target")));
    for (const QString &folder : {dir.filePath("folder"), dir.path() + '/'})
        QVERIFY(!store::deleteEntry(folder) && QFileInfo(folder).isDir());
    const Status missing = store::deleteEntry(dir.filePath("gone"));
    QVERIFY2(missing.message().endsWith(": No such file or directory"),
             qPrintable(missing.message()));
}

QTEST_MAIN(TestStore)
#include "tst_store.moc"
