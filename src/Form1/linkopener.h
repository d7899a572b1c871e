#pragma once

#include <QObject>
#include <QUrl>

class QTextEdit;

// Makes the web addresses in a read-only rich-text view live: a hyperlink, or a bare
// http://, https:// or www. address in the text, opens in the user's browser when
// clicked, with the pointing hand over it. Nothing else opens anything.
class LinkOpener : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkOpener)

public:
    explicit LinkOpener(QTextEdit *view);

    // The web address under a point of the view's viewport, or an empty URL.
    static QUrl addressAt(const QTextEdit &view, const QPoint &pos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTextEdit *m_view;
    // Kept from the start: while the view is being destroyed, its viewport can still
    // send events, and the half-destroyed view must not be asked for it then.
    QWidget *m_viewport;
};
