#include "controls/richtext/richtextbox.h"
#include "Form1/linkopener.h"

#include <QDesktopServices>
#include <QTest>

class TestLinkOpener : public QObject {
    Q_OBJECT

public slots:
    // Stands in for the browser: records what would have been opened.
    void open(const QUrl &url) { m_opened << url; }

private slots:
    void init();
    void cleanup();
    void clicksOpenAddresses_data();
    void clicksOpenAddresses();
    void selectingIsNotClicking();
    void firstAddress_data();
    void firstAddress();

private:
    // The middle of the character at position in the view's viewport.
    QPoint pointAt(int position) const;

    static constexpr const char *schemes[] = {"http", "https", "mailto", "file", "javascript"};
    QList<QUrl> m_opened;
    std::unique_ptr<RichTextBox> m_view;
};

void TestLinkOpener::init()
{
    for (const char *scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, this, "open");
    m_opened.clear();
    m_view = std::make_unique<RichTextBox>();
    m_view->setReadOnly(true);
    m_view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    m_view->resize(500, 300);
    new LinkOpener(m_view.get());
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void TestLinkOpener::cleanup()
{
    m_view.reset();
    for (const char *scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

QPoint TestLinkOpener::pointAt(int position) const
{
    QTextCursor cursor(m_view->document());
    cursor.setPosition(position);
    const QRect left = m_view->cursorRect(cursor);
    cursor.setPosition(position + 1);
    return QPoint((left.left() + m_view->cursorRect(cursor).left()) / 2, left.center().y());
}

void TestLinkOpener::clicksOpenAddresses_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("clickedText");
    // Empty when the click opens nothing.
    QTest::addColumn<QString>("opened");
    const auto row = [](const char *tag, const char *html, const char *clicked, const char *url) {
        QTest::newRow(tag) << html << clicked << url;
    };
    row("hyperlink field", "see <a href=\"https://example.org/a\">our site</a> now", "site",
        "https://example.org/a");
    row("bare https address", "go to https://example.org/b. Then stop.", "example",
        "https://example.org/b");
    row("bare www address", "www.example.org/c, and more", "org", "http://www.example.org/c");
    row("plain word opens nothing", "https://example.org/d plain words", "plain", "");
    row("local file link opens nothing", "<a href=\"file:///etc/passwd\">notes</a>", "notes", "");
    row("script link opens nothing", "<a href=\"javascript:alert(1)\">run</a>", "run", "");
}

void TestLinkOpener::clicksOpenAddresses()
{
    QFETCH(QString, html);
    QFETCH(QString, clickedText);
    QFETCH(QString, opened);
    m_view->setHtml(html);
    const int at = m_view->toPlainText().indexOf(clickedText);
    QVERIFY(at >= 0);
    const QPoint point = pointAt(at + 1);
    QTest::mouseMove(m_view->viewport(), point);
    QCOMPARE(m_view->viewport()->cursor().shape(),
             opened.isEmpty() ? Qt::IBeamCursor : Qt::PointingHandCursor);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, point);
    QCOMPARE(m_opened, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>({QUrl(opened)}));
}

void TestLinkOpener::selectingIsNotClicking()
{
    m_view->setPlainText("https://example.org/selected");
    QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, pointAt(2));
    QTest::mouseMove(m_view->viewport(), pointAt(12));
    QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, pointAt(12));
    QVERIFY(m_view->textCursor().hasSelection());
    // Clicking far right of the line's end is not a click on the address either.
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, QPoint(480, pointAt(2).y()));
    QCOMPARE(m_opened, QList<QUrl>());
}

void TestLinkOpener::firstAddress_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("first");
    QTest::newRow("the earlier of hyperlink and bare address")
        << "go www.b.example/x or <a href=\"https://a.example/\">here</a>"
        << "http://www.b.example/x";
    QTest::newRow("links that never open are passed over")
        << "<a href=\"file:///etc/passwd\">https://c.example/</a> mailto:x "
           "<a href=\"mailto:me@d.example\">mail</a>"
        << "mailto:me@d.example";
    QTest::newRow("no address") << "plain words, www.) and https://."
                                << "";
}

void TestLinkOpener::firstAddress()
{
    QFETCH(QString, html);
    QFETCH(QString, first);
    m_view->setHtml(html);
    QCOMPARE(LinkOpener::firstAddress(*m_view->document()).toString(), first);
}

QTEST_MAIN(TestLinkOpener)
#include "tst_linkopener.moc"
