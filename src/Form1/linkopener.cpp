#include "Form1/linkopener.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextEdit>

namespace {

const QRegularExpression &bareAddress()
{
    static const QRegularExpression pattern(QStringLiteral(R"((?:https?://|www\.)[^\s<>"]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// Sentence punctuation after an address belongs to the sentence, not the address.
QString trimTrailingPunctuation(QString address)
{
    while (!address.isEmpty() && QStringLiteral(".,;:!?)]}'").contains(address.back()))
        address.chop(1);
    return address;
}

// Only web and mail addresses open; a link to a local file or a script never does.
bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                             scheme == QLatin1String("mailto"));
}

} // namespace

LinkOpener::LinkOpener(QTextEdit *view)
    : QObject(view), m_view(view), m_viewport(view->viewport())
{
    m_viewport->setMouseTracking(true);
    m_viewport->installEventFilter(this);
}

QUrl LinkOpener::addressAt(const QTextEdit &view, const QPoint &pos)
{
    if (const QString href = view.anchorAt(pos); !href.isEmpty()) {
        const QUrl url = QUrl::fromUserInput(href);
        return isWebAddress(url) ? url : QUrl();
    }

    const QTextCursor cursor = view.cursorForPosition(pos);
    // cursorForPosition() finds the nearest position even far right of a line's end;
    // only a point over the characters themselves counts.
    QTextCursor next = cursor;
    next.movePosition(QTextCursor::NextCharacter);
    const QRect left = view.cursorRect(cursor);
    const QRect right = view.cursorRect(next);
    if (pos.y() < left.top() || pos.y() > left.bottom() || right.top() != left.top() ||
        pos.x() > qMax(left.right(), right.left()) + 1)
        return QUrl();

    const QTextBlock block = cursor.block();
    const int offset = cursor.position() - block.position();
    auto matches = bareAddress().globalMatch(block.text());
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const QString address = trimTrailingPunctuation(match.captured());
        if (offset >= match.capturedStart() && offset < match.capturedStart() + address.size()) {
            const bool hasScheme = address.contains(QLatin1String("://"));
            return QUrl(hasScheme ? address : QStringLiteral("http://") + address);
        }
    }
    return QUrl();
}

bool LinkOpener::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_viewport)
        return false;
    if (event->type() == QEvent::MouseMove) {
        const auto *move = static_cast<QMouseEvent *>(event);
        const bool overAddress = !addressAt(*m_view, move->position().toPoint()).isEmpty();
        m_viewport->setCursor(overAddress ? Qt::PointingHandCursor : Qt::IBeamCursor);
    } else if (event->type() == QEvent::MouseButtonRelease) {
        const auto *release = static_cast<QMouseEvent *>(event);
        // A drag that selected text is a selection, not a click on the address.
        if (release->button() == Qt::LeftButton && !m_view->textCursor().hasSelection()) {
            const QUrl url = addressAt(*m_view, release->position().toPoint());
            if (!url.isEmpty())
                QDesktopServices::openUrl(url);
        }
    }
    return false;
}
