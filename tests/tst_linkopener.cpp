// Addresses in the information pane: which ones open, the first of them, and clicks
// that open them with the pointing hand over them.

#include "Form1/linkopener.h"

#include <QDesktopServices>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

class TestLinkOpener : public QObject {
    Q_OBJECT

public slots:
    // Stands in for the browser: records what would have been opened.
    void open(const QUrl &url) { m_opened << url.toString(); }

private slots:
    void addresses_data();
    void addresses();
    void clicksOpenOnlyAddresses();

private:
    QStringList m_opened;
};

void TestLinkOpener::addresses_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("found"); // each address's text and where it leads, in order
    const auto row = [](const char *tag, const char *html, const char *found) {
        QTest::newRow(tag) << html << found;
    };
    row("hyperlink", "see <a href=\"https://example.org/a\">our site</a> now",
        "our site=https://example.org/a");
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

void TestLinkOpener::addresses()
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

void TestLinkOpener::clicksOpenOnlyAddresses()
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
    for (const auto &[word, opens] :
         {std::pair{"site", true}, {"plain", false}, {"notes", false}}) {
        const QPoint point = pointAt(view.toPlainText().indexOf(word) + 1);
        QTest::mouseMove(view.viewport(), point);
        QCOMPARE(view.viewport()->cursor().shape(),
                 opens ? Qt::PointingHandCursor : Qt::IBeamCursor);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, point);
    }
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

QTEST_MAIN(TestLinkOpener)
#include "tst_linkopener.moc"
