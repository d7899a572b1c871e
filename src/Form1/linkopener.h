#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

class QPalette;
class QTextBlock;
class QTextDocument;
class QTextEdit;

// Makes the web addresses in a read-only rich-text view live: a hyperlink, or a bare
// http://, https:// or www. address in the text, opens in the user's browser when
// clicked, with the pointing hand over it. Nothing else opens anything.
class LinkOpener : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkOpener)

public:
    explicit LinkOpener(QTextEdit *view);

    // An address that opens: where it stands in its paragraph and where it leads.
    struct Address {
        int start = 0;
        int length = 0;
        QUrl url;
    };
    // The addresses of one paragraph that open when clicked, in the order they stand:
    // hyperlinks to a web or mail address, and bare addresses outside any hyperlink.
    static QList<Address> addresses(const QTextBlock &block);

    // The web address under a point of the view's viewport, or an empty URL.
    static QUrl addressAt(const QTextEdit &view, const QPoint &pos);
    // The first address of the document that opens, or an empty URL.
    static QUrl firstAddress(const QTextDocument &document);
    // Shows the document's addresses as links: the palette's link colour, underlined.
    // Only the document's look changes; its text stays as it is.
    static void showAddressesAsLinks(QTextDocument &document, const QPalette &palette);
    // Opens a web or mail address in the user's browser; anything else is refused.
    static bool open(const QUrl &url);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Without `hyperlinks`, the block is known to hold none.
    static QList<Address> addresses(const QTextBlock &block, bool hyperlinks);

    QTextEdit *m_view;
    // Kept from the start: while the view is being destroyed, its viewport can still
    // send events, and the half-destroyed view must not be asked for it then.
    QWidget *m_viewport;
};
