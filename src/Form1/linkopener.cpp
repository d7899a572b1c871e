#include "Form1/linkopener.h"

#include "entryfile/siteaddress.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The bare address starting at this point of the text, as its length: "http://",
// "https://" or "www." in any letter case, then every character up to a space, '<',
// '>' or '"', at least one. 0 when no address starts here.
qsizetype bareAddressAt(QStringView text, qsizetype at)
{
    const QStringView rest = text.mid(at);
    qsizetype prefix = 0;
    for (const QLatin1StringView start : {"https://"_L1, "http://"_L1, "www."_L1}) {
        if (rest.startsWith(start, Qt::CaseInsensitive)) {
            prefix = start.size();
            break;
        }
    }
    qsizetype end = prefix;
    while (prefix > 0 && end < rest.size() && !rest[end].isSpace() &&
           !QStringView(u"<>\"").contains(rest[end]))
        ++end;
    return end > prefix ? end : 0;
}

// Whether the text holds "://" or "www." in any letter case, as every bare address does:
// searches for ':' and '.' spare most text the look at every character.
bool mayHoldBareAddress(QStringView text)
{
    for (qsizetype at = text.indexOf(u':'); at >= 0; at = text.indexOf(u':', at + 1)) {
        if (text.sliced(at + 1).startsWith(u"//"))
            return true;
    }
    for (qsizetype at = text.indexOf(u'.', 3); at >= 0; at = text.indexOf(u'.', at + 1)) {
        if (text.sliced(at - 3, 3).compare(u"www", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Only web and mail addresses open; a link to a local file or a script never does,
// nor a web address that names no host.
bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid())
        return false;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return !url.host().isEmpty();
    return scheme == QLatin1String("mailto");
}

} // namespace

LinkOpener::LinkOpener(QTextEdit *view) : QObject(view), m_view(view), m_viewport(view->viewport())
{
    m_viewport->setMouseTracking(true);
    m_viewport->installEventFilter(this);
}

QList<LinkOpener::Address> LinkOpener::addresses(const QTextBlock &block)
{
    return addresses(block, true);
}

QList<LinkOpener::Address> LinkOpener::addresses(const QTextBlock &block, bool hyperlinks)
{
    QList<Address> found;
    // Hyperlinks: a run of fragments with one target, split only by formatting. Every
    // hyperlink, opening or not, keeps the bare addresses in its text from opening.
    struct Link {
        int start;
        int end;
        QString href;
    };
    QList<Link> links;
    for (auto it = hyperlinks ? block.begin() : block.end(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QString href = fragment.charFormat().anchorHref();
        if (href.isEmpty())
            continue;
        const int start = fragment.position() - block.position();
        if (!links.isEmpty() && links.back().end == start && links.back().href == href)
            links.back().end = start + fragment.length();
        else
            links.append({start, start + fragment.length(), href});
    }
    for (const Link &link : links) {
        if (const QUrl url = QUrl::fromUserInput(link.href); isWebAddress(url))
            found.append({link.start, link.end - link.start, url});
    }

    const QString text = block.text();
    const bool bare = mayHoldBareAddress(text);
    for (qsizetype at = 0; bare && at + 1 < text.size(); ++at) {
        // Only "ht" and "ww" can start an address; most text is passed over on that.
        const char16_t c = text[at].unicode() | 0x20;
        const char16_t next = text[at + 1].unicode() | 0x20;
        const qsizetype length = (c == u'h' && next == u't') || (c == u'w' && next == u'w')
                                     ? bareAddressAt(text, at)
                                     : 0;
        if (length == 0)
            continue;
        const int start = int(at);
        at += length - 1;
        if (std::any_of(links.cbegin(), links.cend(),
                        [&](const Link &link) { return start >= link.start && start < link.end; }))
            continue;
        const QString address = entryfile::withoutTrailingPunctuation(text.mid(start, length));
        // What the punctuation leaves must still be an address ("www." alone is not).
        if (bareAddressAt(address, 0) != address.size())
            continue;
        const bool hasScheme = address.contains(QLatin1String("://"));
        const QUrl url(hasScheme ? address : QStringLiteral("http://") + address);
        if (isWebAddress(url))
            found.append({start, int(address.size()), url});
    }
    if (!links.isEmpty())
        std::sort(found.begin(), found.end(),
                  [](const Address &a, const Address &b) { return a.start < b.start; });
    return found;
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
    for (const Address &address : addresses(block)) {
        if (offset >= address.start && offset < address.start + address.length)
            return address.url;
    }
    return QUrl();
}

QUrl LinkOpener::firstAddress(const QTextDocument &document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (const QList<Address> found = addresses(block); !found.isEmpty())
            return found.first().url;
    }
    return QUrl();
}

void LinkOpener::showAddressesAsLinks(QTextDocument &document, const QPalette &palette)
{
    QTextCharFormat look;
    look.setForeground(palette.brush(QPalette::Link));
    look.setFontUnderline(true);
    // The look is for the eye only: nothing to undo, and one layout for all of it.
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    QTextCursor cursor(&document);
    bool editing = false;
    // Most entries hold no hyperlink: their blocks' runs need no look.
    const QList<QTextFormat> formats = document.allFormats();
    const bool hyperlinks = std::any_of(formats.cbegin(), formats.cend(), [](const QTextFormat &f) {
        return f.isCharFormat() && f.toCharFormat().isAnchor();
    });
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (const Address &address : addresses(block, hyperlinks)) {
            if (!std::exchange(editing, true))
                cursor.beginEditBlock();
            cursor.setPosition(block.position() + address.start);
            cursor.setPosition(block.position() + address.start + address.length,
                               QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(look);
        }
    }
    if (editing)
        cursor.endEditBlock();
    document.setUndoRedoEnabled(undo);
}

bool LinkOpener::open(const QUrl &url)
{
    return isWebAddress(url) && QDesktopServices::openUrl(url);
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
                open(url);
        }
    }
    return false;
}
