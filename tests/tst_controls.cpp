// The rich-text box and the entry operations over it, and the addresses of the
// information pane that open in the browser.

#include "Form1/linkopener.h"
#include "rtf/rtfdefaults.h"
#include "store/store.h"
#include "testsupport.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

using testsupport::Sandbox;

class TestControls : public QObject {
    Q_OBJECT

public slots:
    // Stands in for the browser: records what would have been opened.
    void open(const QUrl &url) { m_opened << url.toString(); }

private slots:
    void refusedLoadLeavesTheBox();
    void showingFreesTheDocumentReplaced();
    void emptiedBoxTypesInTheDefaultFormat();
    void copyShowsWhatRtfTextShows();
    void endOfALongEntry_data();
    void endOfALongEntry();
    void deleteRemovesOneFileOrLink();
    void addresses_data();
    void addresses();
    void clicksOpenOnlyAddresses();

private:
    QStringList m_opened;
};

// A refused load leaves the box as it was: a document cut short must never reach a box
// whose text may be saved back.
void TestControls::refusedLoadLeavesTheBox()
{
    Sandbox s;
    s.write("good", "{\\rtf1 news}");
    s.write("paragraphs", "{\\rtf1 " + QByteArray("p\\par ").repeated(200'001) + "}");
    s.write("characters", "{\\rtf1 " + QByteArray("word ").repeated(400'001) + "}");
    RichTextBox box;
    QVERIFY(store::loadEntry(s.entry("good"), box));
    for (const char *bad : {"missing", "paragraphs", "characters"}) {
        const QString message = store::loadEntry(s.entry(bad), box).message();
        QVERIFY2(message.startsWith("Cannot read the entry \"" + s.entry(bad) + "\": "),
                 qPrintable(message));
        QCOMPARE(box.fileName() + ' ' + box.toPlainText(), s.entry("good") + " news");
    }
}

// Shown, the box gives each entry a document of its own and frees the one it replaces,
// so that showing entry after entry holds one document, not every one shown.
void TestControls::showingFreesTheDocumentReplaced()
{
    RichTextBox box;
    box.show();
    box.setTextRTF("{\\rtf1 first}");
    const QPointer<QTextDocument> replaced = box.document();
    box.setTextRTF("{\\rtf1 second}");
    QVERIFY(replaced.isNull());
    QCOMPARE(box.toPlainText(), QStringLiteral("second"));
}

// Emptied, the box forgets the format of what it showed: typed text is saved in the
// plain form, not in the last document's font.
void TestControls::emptiedBoxTypesInTheDefaultFormat()
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

// The information pane shows a copy of the buffer's document rather than reading the
// buffer's RTF text again: over the shared corpus both hold the same text in the same
// formats, as the RTF written from each shows.
void TestControls::copyShowsWhatRtfTextShows()
{
    const QDir dir(QStringLiteral(SITEBOOK_SHARED_DIR "/rtf-corpus/files"));
    if (!dir.exists())
        QSKIP(qPrintable("the shared RTF corpus is not here: " + dir.path()));
    for (const QString &file : dir.entryList({"*.rtf"}, QDir::Files)) {
        RichTextBox buffer, copied, read;
        QVERIFY(buffer.loadFile(dir.filePath(file)));
        copied.setTextFrom(buffer);
        read.setTextRTF(buffer.textRTF());
        QCOMPARE(copied.wordWrapMode(), read.wordWrapMode());
        QCOMPARE(copied.toPlainText(), read.toPlainText());
        QVERIFY2(copied.textRTF() == read.textRTF(), qPrintable(file));
    }
}

// A long entry is laid out bit by bit after its first screen is shown. By itself or at
// once for Ctrl+End, its end is laid out, the scroll bar then spans the whole document,
// and Ctrl+End brings the end of its last line into view.
void TestControls::endOfALongEntry_data()
{
    QTest::addColumn<bool>("jump");
    QTest::newRow("laid out by itself") << false;
    QTest::newRow("Ctrl+End at once") << true;
}

void TestControls::endOfALongEntry()
{
    QFETCH(bool, jump);
    RichTextBox box;
    box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box.resize(217, 233);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    // Its last letter (a 120-point Ǆ) is wider than the box: a scroll bar comes below the
    // text once the layout gets there.
    box.setTextRTF("{\\rtf1 " + QByteArray("A paragraph of some words.\\par ").repeated(20000) +
                   "\\fs240\\u452?}");
    const QTextLayout &last = *box.document()->lastBlock().layout();
    QCOMPARE(last.lineCount(), 0);
    if (jump)
        QTest::keyClick(&box, Qt::Key_End, Qt::ControlModifier);
    QTRY_VERIFY(last.lineCount() > 0 && box.horizontalScrollBar()->isVisible());
    QTRY_COMPARE(box.verticalScrollBar()->maximum(),
                 box.document()->size().toSize().height() - box.viewport()->height());
    QTest::keyClick(&box, Qt::Key_End, Qt::ControlModifier);
    QVERIFY2(box.cursorRect().bottom() < box.viewport()->height(),
             qPrintable(QStringLiteral("the end at %1 of %2 pixels")
                            .arg(box.cursorRect().bottom())
                            .arg(box.viewport()->height())));
}

void TestControls::deleteRemovesOneFileOrLink()
{
    Sandbox s;
    s.write("target", "t");
    QVERIFY(QDir(s.list()).mkdir("folder") && QFile::link("target", s.entry("link")));
    QVERIFY(store::deleteEntry(s.entry("link")));
    QVERIFY(!QFileInfo(s.entry("link")).isSymLink() && s.exists("target"));
    for (const QString &folder : {s.entry("folder"), s.list() + '/'})
        QVERIFY(!store::deleteEntry(folder) && QFileInfo(folder).isDir());
    const QString missing = store::deleteEntry(s.entry("gone")).message();
    QVERIFY2(missing.endsWith(": No such file or directory"), qPrintable(missing));
}

void TestControls::addresses_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("found"); // each address's text and where it leads, in order
    const auto row = [](const char *tag, const char *html, const char *found) {
        QTest::newRow(tag) << html << found;
    };
    row("bare addresses without the punctuation after them",
        "go to https://example.org/b. Then www.example.org/c, and more",
        "https://example.org/b=https://example.org/b | www.example.org/c=http://www.example.org/c");
    row("bare before hyperlink", "go www.b.example/x or <a href=\"https://a.example/\">here</a>",
        "www.b.example/x=http://www.b.example/x | here=https://a.example/");
    row("links to files and scripts never open",
        "<a href=\"file:///etc/passwd\">https://c.example/</a> <a href=\"javascript:alert(1)\">run"
        "</a> <a href=\"mailto:me@d.example\">mail</a>",
        "mail=mailto:me@d.example");
    row("no address", "plain words, www.) and https://.", "");
}

void TestControls::addresses()
{
    QFETCH(QString, html);
    QFETCH(QString, found);
    QTextDocument document;
    document.setHtml(html);
    QStringList got;
    for (const LinkOpener::Address &a : LinkOpener::addresses(document.firstBlock()))
        got << document.firstBlock().text().mid(a.start, a.length) + '=' + a.url.toString();
    QCOMPARE(got.join(" | "), found);
    QCOMPARE(LinkOpener::firstAddress(document).toString(),
             found.section(" | ", 0, 0).section('=', 1));
}

void TestControls::clicksOpenOnlyAddresses()
{
    for (const char *scheme : {"https", "file"})
        QDesktopServices::setUrlHandler(scheme, this, "open");
    QTextEdit view;
    view.setReadOnly(true);
    view.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    view.resize(500, 300);
    new LinkOpener(&view);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setHtml(
        "<a href=\"https://example.org/a\">site</a> plain <a href=\"file:///etc/x\">notes</a>");
    // The middle of the character at the position.
    const auto pointAt = [&view](int position) {
        QTextCursor cursor(view.document());
        cursor.setPosition(position);
        const QRect left = view.cursorRect(cursor);
        cursor.setPosition(position + 1);
        return QPoint((left.left() + view.cursorRect(cursor).left()) / 2, left.center().y());
    };
    for (const char *word : {"site", "plain", "notes"})
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                          pointAt(view.toPlainText().indexOf(word) + 1));
    // Selecting the address by dragging over it, or clicking right of the line's end, opens
    // nothing.
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, pointAt(0));
    QTest::mouseMove(view.viewport(), pointAt(3));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, pointAt(3));
    QVERIFY(view.textCursor().hasSelection());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(480, pointAt(1).y()));
    QCOMPARE(m_opened, QStringList{"https://example.org/a"});
    for (const char *scheme : {"https", "file"})
        QDesktopServices::unsetUrlHandler(scheme);
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
