#include "bookmarks/bookmarkfile.h"

#include <QStringList>

#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

#include <cctype>
#include <cstring>
#include <string>

namespace bookmarks {
namespace {

constexpr int kParseOptions =
    HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING;
// Titles become names of at most 255 bytes; the rest only costs memory.
constexpr std::size_t kMaxTitleBytes = 1024;
constexpr std::size_t kMaxDescriptionBytes = 64 * 1024;

const char *chars(const xmlChar *text)
{
    return reinterpret_cast<const char *>(text);
}

bool is(const xmlChar *name, const char *tag)
{
    return std::strcmp(chars(name), tag) == 0;
}

const xmlChar *attribute(const xmlChar **attributes, const char *name)
{
    for (int i = 0; attributes && attributes[i]; i += 2) {
        if (xmlStrcasecmp(attributes[i], reinterpret_cast<const xmlChar *>(name)) == 0)
            return attributes[i + 1];
    }
    return nullptr;
}

// An element's text as it arrives: runs of white space folded to one space (or, where
// lines are kept, to a line break if they held one), control characters taken for
// spaces, and the rest left out past the bound, so that a hostile element costs no
// more memory than that.
class Text {
public:
    void start(std::size_t bound, bool keepLines)
    {
        m_text.clear();
        m_bound = bound;
        m_keepLines = keepLines;
        m_space = m_line = m_full = false;
    }

    void append(const xmlChar *text, int length)
    {
        for (int i = 0; i < length && !m_full; ++i) {
            const unsigned char c = text[i];
            if (c == '\n' && m_keepLines) {
                m_line = true;
            } else if (c <= ' ' || c == 0x7f) {
                m_space = true;
            } else if (m_text.size() >= m_bound && (c & 0xc0) != 0x80) {
                // Cut before a character's first byte, never inside one.
                m_full = true;
            } else {
                if (!m_text.empty() && (m_line || m_space) && (c & 0xc0) != 0x80)
                    m_text += m_line ? '\n' : ' ';
                m_line = m_space = false;
                m_text += char(c);
            }
        }
    }

    void lineBreak() { (m_keepLines ? m_line : m_space) = true; }

    // Folded once more as Unicode text, for the spaces HTML does not fold (&nbsp;).
    QString line() const { return QString::fromUtf8(m_text).simplified(); }
    QString lines() const
    {
        QStringList kept;
        for (const QString &line : QString::fromUtf8(m_text).split(QLatin1Char('\n'))) {
            if (const QString folded = line.simplified(); !folded.isEmpty())
                kept << folded;
        }
        return kept.join(QLatin1Char('\n'));
    }

private:
    std::string m_text;
    std::size_t m_bound = 0;
    bool m_keepLines = false;
    bool m_space = false;
    bool m_line = false;
    bool m_full = false;
};

// Seconds since 1970; some tools write milliseconds or microseconds instead.
qint64 dateFrom(const xmlChar *value)
{
    qint64 seconds = value ? QByteArray(chars(value)).trimmed().toLongLong() : 0;
    while (seconds > 100'000'000'000LL) // past the year 5000: finer units
        seconds /= 1000;
    return seconds > 0 ? seconds : 0;
}

// The SAX handler: the file is read as a stream of events in document order, which is
// the order that gives the format its meaning (an <H3> names the <DL> after it, a <DD>
// describes the bookmark before it), whatever tree the parser would build around them.
class Reader {
public:
    explicit Reader(BookmarkFile &file) : m_file(file) {}

    htmlParserCtxtPtr parser = nullptr;
    bool declared = false;
    bool tooMany = false;

    void doctype(const xmlChar *name)
    {
        declared =
            name &&
            xmlStrcasecmp(name, reinterpret_cast<const xmlChar *>("NETSCAPE-Bookmark-file-1")) == 0;
    }

    void startElement(const xmlChar *name, const xmlChar **attributes)
    {
        if (is(name, "dl")) {
            m_lists.push_back(m_pendingFolder >= 0 ? m_pendingFolder : currentFolder());
            m_pendingFolder = -1;
            m_last = Item::None;
        } else if (is(name, "dt")) {
            m_pendingFolder = -1;
            m_last = Item::None;
        } else if (is(name, "h3") && !m_lists.empty()) {
            m_reading = Reading::FolderName;
            m_text.start(kMaxTitleBytes, false);
        } else if (is(name, "a") && !m_lists.empty()) {
            if (qsizetype(m_file.bookmarks.size()) >= kMaxBookmarks) {
                tooMany = true;
                xmlStopParser(parser);
                return;
            }
            const xmlChar *href = attribute(attributes, "href");
            m_bookmark = Bookmark();
            m_bookmark.address = href ? QString::fromUtf8(chars(href)).trimmed() : QString();
            m_bookmark.added = dateFrom(attribute(attributes, "add_date"));
            m_bookmark.folder = currentFolder();
            m_reading = Reading::Title;
            m_text.start(kMaxTitleBytes, false);
        } else if (is(name, "dd") && m_last == Item::Bookmark) {
            m_reading = Reading::Description;
            m_text.start(kMaxDescriptionBytes, true);
        } else if (is(name, "br") && m_reading != Reading::Nothing) {
            m_text.lineBreak();
        }
    }

    void endElement(const xmlChar *name)
    {
        if (is(name, "dl")) {
            if (!m_lists.empty())
                m_lists.pop_back();
            m_last = Item::None;
        } else if (is(name, "h3") && m_reading == Reading::FolderName) {
            m_reading = Reading::Nothing;
            m_last = Item::Folder;
            const int parent = currentFolder();
            if (depth(parent) >= kMaxFolderDepth) {
                m_pendingFolder = parent;
                return;
            }
            m_file.folders.push_back({parent, m_text.line()});
            m_pendingFolder = int(m_file.folders.size() - 1);
        } else if (is(name, "a") && m_reading == Reading::Title) {
            m_reading = Reading::Nothing;
            m_last = Item::Bookmark;
            m_bookmark.title = m_text.line();
            m_file.bookmarks.push_back(std::move(m_bookmark));
        } else if (is(name, "dd") && m_reading == Reading::Description) {
            m_reading = Reading::Nothing;
            m_last = Item::None;
            m_file.bookmarks.back().description = m_text.lines();
        }
    }

    void characters(const xmlChar *text, int length)
    {
        if (m_reading != Reading::Nothing)
            m_text.append(text, length);
    }

private:
    enum class Item { None, Folder, Bookmark };
    enum class Reading { Nothing, FolderName, Title, Description };

    int currentFolder() const { return m_lists.empty() ? -1 : m_lists.back(); }
    int depth(int folder) const
    {
        int levels = 0;
        for (; folder >= 0; folder = m_file.folders[std::size_t(folder)].parent)
            ++levels;
        return levels;
    }

    BookmarkFile &m_file;
    std::vector<int> m_lists; // the folder of each open <DL>
    int m_pendingFolder = -1; // the folder an <H3> just named, until its <DL> opens
    Item m_last = Item::None;
    Reading m_reading = Reading::Nothing;
    Text m_text;
    Bookmark m_bookmark;
};

// Finds the charset the head declares, from <meta charset> or the http-equiv
// Content-Type's "charset=" (the first that names one; Firefox adds a second <meta>
// without), and stops at the first element past the head.
struct CharsetProbe {
    htmlParserCtxtPtr parser = nullptr;
    QByteArray charset;

    void startElement(const xmlChar *name, const xmlChar **attributes)
    {
        if (!is(name, "meta")) {
            if (!is(name, "html") && !is(name, "head") && !is(name, "title"))
                xmlStopParser(parser);
            return;
        }
        if (!charset.isEmpty())
            return;
        if (const xmlChar *value = attribute(attributes, "charset"))
            charset = QByteArray(chars(value)).trimmed();
        else if (const xmlChar *content = attribute(attributes, "content"))
            charset = charsetOf(QByteArray(chars(content)));
    }
    void endElement(const xmlChar *) {}
    void characters(const xmlChar *, int) {}
    void doctype(const xmlChar *) {}

    // "text/html; charset=windows-1251" gives "windows-1251".
    static QByteArray charsetOf(const QByteArray &contentType)
    {
        const qsizetype at = contentType.toLower().indexOf("charset");
        if (at < 0)
            return QByteArray();
        QByteArray rest = contentType.mid(at + 7).trimmed();
        if (!rest.startsWith('='))
            return QByteArray();
        rest = rest.mid(1).trimmed();
        if (rest.startsWith('"') || rest.startsWith('\''))
            rest = rest.mid(1);
        qsizetype end = 0;
        while (end < rest.size() &&
               (std::isalnum(uchar(rest[end])) || QByteArrayView("-_.:").contains(rest[end])))
            ++end;
        return rest.left(end);
    }
};

// Runs the parser over the whole file, handing its events to the handler. A file from
// anywhere may nest without end: the handler, not the call stack, keeps what is open.
template <typename Handler>
void parse(const QByteArray &html, const char *encoding, Handler &handler)
{
    htmlParserCtxtPtr parser = htmlCreateMemoryParserCtxt(html.constData(), int(html.size()));
    if (parser == nullptr)
        return;
    handler.parser = parser;
    htmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.startElement = [](void *data, const xmlChar *name, const xmlChar **attributes) {
        static_cast<Handler *>(data)->startElement(name, attributes);
    };
    sax.endElement = [](void *data, const xmlChar *name) {
        static_cast<Handler *>(data)->endElement(name);
    };
    sax.characters = [](void *data, const xmlChar *text, int length) {
        static_cast<Handler *>(data)->characters(text, length);
    };
    sax.cdataBlock = sax.characters;
    sax.internalSubset = [](void *data, const xmlChar *name, const xmlChar *, const xmlChar *) {
        static_cast<Handler *>(data)->doctype(name);
    };
    std::memcpy(parser->sax, &sax, sizeof sax);
    parser->userData = &handler;
    htmlCtxtUseOptions(parser, kParseOptions);
    if (encoding) {
        // A charset iconv does not know is read as UTF-8.
        xmlCharEncodingHandlerPtr converter = xmlFindCharEncodingHandler(encoding);
        if (converter == nullptr)
            converter = xmlFindCharEncodingHandler("UTF-8");
        xmlSwitchToEncoding(parser, converter);
    }
    htmlParseDocument(parser);
    htmlFreeParserCtxt(parser);
}

void appendEscaped(QByteArray &out, const QString &text)
{
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

} // namespace

QString BookmarkFile::folderPath(int folder) const
{
    QStringList names;
    for (; folder >= 0; folder = folders[std::size_t(folder)].parent) {
        if (!folders[std::size_t(folder)].name.isEmpty())
            names.prepend(folders[std::size_t(folder)].name);
    }
    return names.join(QStringLiteral(" / "));
}

Status read(const QByteArray &html, BookmarkFile &file)
{
    xmlInitParser();
    // The declared charset is found first and then given to the parser, so that a file
    // declaring none is read as UTF-8 rather than as the parser's own guess.
    CharsetProbe probe;
    parse(html, nullptr, probe);
    file = BookmarkFile();
    Reader reader(file);
    parse(html, probe.charset.isEmpty() ? "UTF-8" : probe.charset.constData(), reader);

    if (reader.tooMany)
        return Status::failure(
            QStringLiteral("it holds more than %1 bookmarks").arg(kMaxBookmarks));
    if (file.bookmarks.empty() && !reader.declared)
        return Status::failure(QStringLiteral("it is not a bookmark file: it neither begins with "
                                              "<!DOCTYPE NETSCAPE-Bookmark-file-1> nor holds "
                                              "<DT><A HREF> items in <DL> lists"));
    if (file.bookmarks.empty())
        return Status::failure(QStringLiteral("it holds no bookmarks"));
    return Status::success();
}

QByteArray write(const std::vector<Bookmark> &bookmarks)
{
    QByteArray out = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                     "<!-- This is an automatically generated file.\n"
                     "     It will be read and overwritten.\n"
                     "     DO NOT EDIT! -->\n"
                     "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                     "<TITLE>Bookmarks</TITLE>\n"
                     "<H1>Bookmarks</H1>\n"
                     "<DL><p>\n";
    for (const Bookmark &bookmark : bookmarks) {
        out += "    <DT><A HREF=\"";
        appendEscaped(out, bookmark.address);
        out += '"';
        if (bookmark.added > 0)
            out += " ADD_DATE=\"" + QByteArray::number(bookmark.added) + '"';
        out += '>';
        appendEscaped(out, bookmark.title);
        out += "</A>\n";
        if (!bookmark.description.isEmpty()) {
            out += "    <DD>";
            appendEscaped(out, bookmark.description);
            out += '\n';
        }
    }
    out += "</DL><p>\n";
    return out;
}

} // namespace bookmarks
