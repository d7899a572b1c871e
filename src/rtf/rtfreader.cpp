#include "rtf/rtfreader.h"

#include "rtf/rtfcodepage.h"
#include "rtf/rtfdefaults.h"
#include "rtf/rtftokenizer.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace rtf {

namespace {

// Control characters other than the tab have no place in entry text (the writer leaves
// them out as well), so that what a document shows is what it saves.
void appendEntryText(QString &to, QStringView text)
{
    const auto control = [](QChar ch) { return ch.unicode() < 0x20 && ch != u'\t'; };
    if (std::none_of(text.begin(), text.end(), control)) {
        to += text;
        return;
    }
    for (const QChar ch : text) {
        if (!control(ch))
            to += ch;
    }
}

enum class Dest : unsigned char {
    Normal,
    FontTable,
    FontAltName,
    ColorTable,
    FieldInst,
    Suppress, // \object or \upr: text hidden until \result or \ud brings it back
};

struct GroupState {
    CharFormat chr;
    ParaFormat para;
    Dest dest = Dest::Normal;
    Dest resume = Dest::Normal;
    int uc = 1;
    int fieldCount = 0;
    const CodePageDecoder *decoder = nullptr; // cached; null when it must be worked out again
};

struct FieldInfo {
    QString instruction;
    Dest owner = Dest::Normal;
    int link = -2; // -2 while the instruction has not been looked at
};

constexpr int kMaxIndentTwips = 31680; // 22 inches
constexpr int kMaxHalfPoints = 3276;
// A long run of text is decoded and handed on in parts of about this many bytes or
// characters, so that reading holds no second and third copy of it.
constexpr size_t kTextChunk = 64 * 1024;

// ---------------------------------------------------------------------------
// Control words the reader acts on

enum class Kw : unsigned char {
    Unknown,
    Format, // sets the group's character or paragraph format: see KwInfo::format
    // destinations
    SkipDest,
    FontTable,
    ColorTable,
    FontAltName,
    Field,
    FieldInst,
    FieldResult,
    Object,
    Result,
    Upr,
    Ud,
    NestTableProps,
    // document
    CodePage, // \ansi, \mac, \pc, \pca: the code page in KwInfo::value
    AnsiCpg,
    Deff,
    // font and colour tables
    Font,
    FCharset,
    Cpg,
    Red,
    Green,
    Blue,
    // characters
    Par,
    Line,
    Tab,
    Row,
    Unicode,
    UnicodeSkip,
    NamedChar, // the character in KwInfo::value
};

// A formatting word: changes the group's formats from its parameter (on is true
// when the word has no parameter or a non-zero one).
using FormatArm = void (*)(GroupState &s, int p, bool on);

struct KwInfo {
    Kw kw = Kw::Unknown;
    int value = 0;
    FormatArm format = nullptr;
};

constexpr bool isDestination(Kw kw)
{
    return kw >= Kw::SkipDest && kw <= Kw::NestTableProps;
}

const std::unordered_map<std::string_view, KwInfo> &keywords()
{
    static const std::unordered_map<std::string_view, KwInfo> table = [] {
        std::unordered_map<std::string_view, KwInfo> t;
        // Destinations whose text must never reach the document.
        for (std::string_view w :
             {"stylesheet", "info",         "pict",        "header",       "headerl",
              "headerr",    "headerf",      "footer",      "footerl",      "footerr",
              "footerf",    "footnote",     "annotation",  "atnid",        "atnauthor",
              "atndate",    "atnref",       "atntime",     "atnicn",       "listtable",
              "listoverridetable",          "revtbl",      "rsidtbl",      "generator",
              "xmlnstbl",   "themedata",    "colorschememapping",          "datastore",
              "latentstyles",               "pgdsctbl",    "pntext",       "listtext",
              "nonesttables",               "nonshppict",  "shpinst",      "shprslt",
              "shptxt",     "objdata",      "objclass",    "txe",          "xe",
              "tc",         "bkmkstart",    "bkmkend",     "template",     "private",
              "docvar",     "userprops",    "pn",          "pntxta",       "pntxtb",
              "falt",       "panose",       "fontemb",     "fontfile",     "leveltext",
              "levelnumbers",               "ftnsep",      "ftnsepc",      "ftncn",
              "aftnsep",    "aftnsepc",     "aftncn",      "filetbl",      "listpicture",
              "background", "comment",      "title",       "subject",      "author",
              "operator",   "keywords",     "doccomm",     "company",      "manager",
              "category",   "buptim",       "creatim",     "printim",      "revtim",
              "hlinkbase",  "blipuid",      "mmathPr",     "wgrffmtfilter",
              "passwordhash",               "htmltag",     "mhtmltag",     "formfield",
              "datafield",  "sp",           "sn",          "sv",           "protusertbl",
              "pgptbl",     "xmlopen",      "xmlattrname", "xmlattrvalue", "oldcprops",
              "oldpprops",  "oldtprops",    "oldsprops",   "fldtype",      "ffname",
              "ffdeftext",  "ffentrymcr",   "ffexitmcr",   "ffformat",     "ffhelptext",
              "ffl",        "ffstattext",   "mvfmf",       "mvfml",        "mvtof",
              "mvtol",      "rxe",          "pxe",         "atrfstart",    "atrfend",
              "atnparent",  "dptxbxtext",   "nextfile",    "svb",          "ebcstart",
              "ebcend",     "factoidname",  "gridtbl",     "keycode"})
            t[w] = {Kw::SkipDest};
        t["fonttbl"] = {Kw::FontTable};
        t["colortbl"] = {Kw::ColorTable};
        t["fname"] = {Kw::FontAltName};
        t["field"] = {Kw::Field};
        t["fldinst"] = {Kw::FieldInst};
        t["fldrslt"] = {Kw::FieldResult};
        t["object"] = {Kw::Object};
        t["result"] = {Kw::Result};
        t["upr"] = {Kw::Upr};
        t["ud"] = {Kw::Ud};
        // Some writers put nested cells' text inside it, so it is read like body text.
        t["nesttableprops"] = {Kw::NestTableProps};

        t["ansi"] = {Kw::CodePage, 1252};
        t["mac"] = {Kw::CodePage, 10000};
        t["pc"] = {Kw::CodePage, 437};
        t["pca"] = {Kw::CodePage, 850};
        t["ansicpg"] = {Kw::AnsiCpg};
        t["deff"] = {Kw::Deff};
        t["f"] = {Kw::Font};
        t["fcharset"] = {Kw::FCharset};
        t["cpg"] = {Kw::Cpg};
        t["red"] = {Kw::Red};
        t["green"] = {Kw::Green};
        t["blue"] = {Kw::Blue};

        for (std::string_view w : {"par", "sect", "page"})
            t[w] = {Kw::Par};
        t["line"] = {Kw::Line};
        for (std::string_view w : {"tab", "cell", "nestcell"})
            t[w] = {Kw::Tab};
        t["row"] = {Kw::Row};
        t["nestrow"] = {Kw::Row};
        t["u"] = {Kw::Unicode};
        t["uc"] = {Kw::UnicodeSkip};
        for (const auto &[w, ch] : std::initializer_list<std::pair<std::string_view, char16_t>>{
                 {"emdash", u'\u2014'},  {"endash", u'\u2013'},    {"bullet", u'\u2022'},
                 {"lquote", u'\u2018'},  {"rquote", u'\u2019'},    {"ldblquote", u'\u201C'},
                 {"rdblquote", u'\u201D'}, {"emspace", u'\u2003'}, {"enspace", u'\u2002'},
                 {"qmspace", u'\u2005'}, {"zwj", u'\u200D'},       {"zwnj", u'\u200C'},
                 {"zwbo", u'\u200B'},    {"zwnbo", u'\u2060'},     {"ltrmark", u'\u200E'},
                 {"rtlmark", u'\u200F'}})
            t[w] = {Kw::NamedChar, ch};

        const auto format = [&t](std::string_view w, FormatArm arm) {
            t[w] = {Kw::Format, 0, arm};
        };
        format("plain", [](GroupState &s, int, bool) {
            const int link = s.chr.link;
            s.chr = CharFormat();
            s.chr.link = link;
            s.decoder = nullptr;
        });
        format("b", [](GroupState &s, int, bool on) { s.chr.bold = on; });
        format("i", [](GroupState &s, int, bool on) { s.chr.italic = on; });
        for (std::string_view w : {"ul", "uld", "uldb", "uldash", "uldashd", "uldashdd", "ulhair",
                                   "ulhwave", "ulldash", "ulth", "ulthd", "ulthdash", "ulthdashd",
                                   "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave"})
            format(w, [](GroupState &s, int, bool on) { s.chr.underline = on; });
        format("ulnone", [](GroupState &s, int, bool) { s.chr.underline = false; });
        for (std::string_view w : {"strike", "striked"})
            format(w, [](GroupState &s, int, bool on) { s.chr.strike = on; });
        format("fs", [](GroupState &s, int p, bool) {
            s.chr.halfPoints = p > 0 ? std::min(p, kMaxHalfPoints) : 24;
        });
        format("cf", [](GroupState &s, int p, bool) { s.chr.foreground = std::max(p, 0); });
        for (std::string_view w : {"cb", "highlight", "chcbpat"})
            format(w, [](GroupState &s, int p, bool) { s.chr.background = std::max(p, 0); });
        format("super", [](GroupState &s, int, bool) { s.chr.vertical = VerticalAlign::Super; });
        format("sub", [](GroupState &s, int, bool) { s.chr.vertical = VerticalAlign::Sub; });
        format("nosupersub",
               [](GroupState &s, int, bool) { s.chr.vertical = VerticalAlign::Normal; });
        format("up", [](GroupState &s, int p, bool) {
            s.chr.vertical = p != 0 ? VerticalAlign::Super : VerticalAlign::Normal;
        });
        format("dn", [](GroupState &s, int p, bool) {
            s.chr.vertical = p != 0 ? VerticalAlign::Sub : VerticalAlign::Normal;
        });
        format("v", [](GroupState &s, int, bool on) { s.chr.hidden = on; });
        format("pard", [](GroupState &s, int, bool) { s.para = ParaFormat(); });
        format("ql", [](GroupState &s, int, bool) { s.para.alignment = Alignment::Left; });
        format("qc", [](GroupState &s, int, bool) { s.para.alignment = Alignment::Center; });
        format("qr", [](GroupState &s, int, bool) { s.para.alignment = Alignment::Right; });
        for (std::string_view w : {"qj", "qd"})
            format(w, [](GroupState &s, int, bool) { s.para.alignment = Alignment::Justify; });
        format("li", [](GroupState &s, int p, bool) {
            s.para.leftTwips = std::clamp(p, -kMaxIndentTwips, kMaxIndentTwips);
        });
        format("ri", [](GroupState &s, int p, bool) {
            s.para.rightTwips = std::clamp(p, -kMaxIndentTwips, kMaxIndentTwips);
        });
        format("fi", [](GroupState &s, int p, bool) {
            s.para.firstTwips = std::clamp(p, -kMaxIndentTwips, kMaxIndentTwips);
        });
        return t;
    }();
    return table;
}

// ---------------------------------------------------------------------------
// Reader

// Splits a field instruction into words, keeping quoted ones whole.
QStringList fieldWords(const QString &instruction)
{
    QStringList words;
    const qsizetype n = instruction.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && instruction.at(i).isSpace())
            ++i;
        if (i >= n)
            break;
        if (instruction.at(i) == u'"') {
            const qsizetype close = instruction.indexOf(u'"', i + 1);
            const qsizetype stop = close < 0 ? n : close;
            words.append(instruction.mid(i + 1, stop - i - 1));
            i = stop + 1;
        } else {
            const qsizetype start = i;
            while (i < n && !instruction.at(i).isSpace() && instruction.at(i) != u'"')
                ++i;
            words.append(instruction.mid(start, i - start));
        }
    }
    return words;
}

// The address of a HYPERLINK field; empty for other fields.
QString hyperlinkTarget(const QString &instruction)
{
    const QStringList words = fieldWords(instruction);
    if (words.isEmpty() || words.first().compare(u"HYPERLINK", Qt::CaseInsensitive) != 0)
        return {};
    QString url;
    QString anchor;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString &w = words.at(i);
        if (w.startsWith(u'\\') && w.size() == 2) {
            const QChar sw = w.at(1).toLower();
            if ((sw == u'l' || sw == u'o' || sw == u't') && i + 1 < words.size()) {
                if (sw == u'l')
                    anchor = words.at(i + 1);
                ++i;
            }
            continue;
        }
        if (url.isEmpty())
            url = w;
    }
    if (!anchor.isEmpty())
        url += u'#' + anchor;
    return url;
}

class Reader {
    Q_DISABLE_COPY_MOVE(Reader)

public:
    Reader(std::string_view data, Sink &sink) : m_tokens(data), m_sink(sink) {}

    void run()
    {
        m_sink.begin(m_tables);
        for (;;) {
            const Token t = m_tokens.next();
            if (t.type == TokenType::End)
                break;
            if (m_skipping) {
                skipToken(t);
                if (m_outerClosed)
                    break;
                continue;
            }
            if (m_starPending && t.type != TokenType::Word) {
                // "{\*" must be followed by the destination's name; anything else is skipped.
                m_starPending = false;
                flushBytes();
                startSkipping();
                skipToken(t);
                if (m_outerClosed)
                    break;
                continue;
            }
            const bool afterOpen = m_afterOpen;
            m_afterOpen = false;
            switch (t.type) {
            case TokenType::Open:
                openGroup();
                break;
            case TokenType::Close:
                m_outerClosed = !closeGroup();
                break;
            case TokenType::Text:
                textBytes(t.text);
                break;
            case TokenType::Hex:
                hexByte(t.byte);
                break;
            case TokenType::Binary:
                if (m_ucSkip > 0)
                    --m_ucSkip;
                break;
            case TokenType::ParBreak:
                flushBytes();
                paragraphEnd();
                break;
            case TokenType::Symbol:
                symbol(t.symbol, afterOpen);
                break;
            case TokenType::Word:
                word(t);
                break;
            case TokenType::End:
                break;
            }
            if (m_outerClosed)
                break;
        }
        finish();
    }

private:
    GroupState &top() { return m_stack.back(); }

    void skipToken(const Token &t)
    {
        if (t.type == TokenType::Open) {
            ++m_skipNest;
        } else if (t.type == TokenType::Close) {
            if (m_skipNest > 0) {
                --m_skipNest;
                return;
            }
            m_skipping = false;
            m_outerClosed = !closeGroup();
        }
    }

    void startSkipping()
    {
        m_skipping = true;
        m_skipNest = 0;
    }

    void openGroup()
    {
        flushBytes();
        m_ucSkip = 0;
        m_afterOpen = true;
        m_starPending = false;
        if (m_stack.empty()) {
            m_stack.emplace_back();
            return;
        }
        if (static_cast<int>(m_stack.size()) >= kMaxGroupDepth) {
            ++m_excess;
            return;
        }
        m_stack.push_back(m_stack.back());
    }

    // Returns false when the outermost group has closed.
    bool closeGroup()
    {
        flushBytes();
        m_ucSkip = 0;
        m_starPending = false;
        if (m_excess > 0) {
            --m_excess;
            return true;
        }
        if (m_stack.empty())
            return false;
        const Dest closing = m_stack.back().dest;
        if (m_stack.size() == 1) {
            m_lastPara = m_stack.back().para;
            m_stack.pop_back();
            return false;
        }
        m_stack.pop_back();
        if (closing == Dest::FontTable && top().dest != Dest::FontTable)
            fontTableDone();
        if (static_cast<int>(m_fields.size()) > top().fieldCount)
            m_fields.resize(static_cast<size_t>(top().fieldCount));
        return true;
    }

    void finish()
    {
        flushBytes();
        flushPendingSurrogate();
        flushText();
        m_sink.end(m_stack.empty() ? m_lastPara : top().para);
    }

    // --- text -------------------------------------------------------------

    const CodePageDecoder &decoderFor(int fontIndex)
    {
        int cp = 0;
        if (fontIndex >= 0 && fontIndex < static_cast<int>(m_tables.fonts.size())) {
            const Font &font = m_tables.fonts[static_cast<size_t>(fontIndex)];
            cp = font.codePage != 0 ? font.codePage : codePageForCharset(font.charset);
        }
        if (cp == 0)
            cp = m_ansiCodePage;
        return CodePageDecoder::forCodePage(cp);
    }

    const CodePageDecoder &currentDecoder()
    {
        GroupState &s = top();
        if (s.dest == Dest::FontTable || s.dest == Dest::FontAltName)
            return decoderFor(m_currentFont);
        if (s.decoder == nullptr)
            s.decoder = &decoderFor(s.chr.font == -1 ? m_tables.defaultFont : s.chr.font);
        return *s.decoder;
    }

    bool acceptsText()
    {
        if (m_stack.empty())
            return false;
        const GroupState &s = top();
        return s.dest != Dest::Suppress && !(s.dest == Dest::Normal && s.chr.hidden);
    }

    void textBytes(std::string_view bytes)
    {
        if (m_ucSkip > 0) {
            const size_t n = std::min(bytes.size(), static_cast<size_t>(m_ucSkip));
            m_ucSkip -= static_cast<int>(n);
            bytes.remove_prefix(n);
        }
        if (bytes.empty() || !acceptsText())
            return;
        const CodePageDecoder &decoder = currentDecoder();
        if (!m_bytes.empty() && &decoder != m_bytesDecoder)
            flushBytes();
        m_bytesDecoder = &decoder;
        while (!bytes.empty()) {
            const std::string_view part = bytes.substr(0, kTextChunk);
            bytes.remove_prefix(part.size());
            m_bytes.append(part);
            if (m_bytes.size() >= kTextChunk)
                flushWholeCharacters();
        }
    }

    // Decodes the bytes gathered so far up to the last place where a character surely
    // ends, keeping the rest for what follows. In a single-byte page that is anywhere;
    // in a double-byte page or UTF-8, after two bytes below 0x80 in a row, since such a
    // byte is never a lead byte and the first of them ends any character before it.
    void flushWholeCharacters()
    {
        size_t end = m_bytes.size();
        if (m_bytesDecoder->isMultiByte()) {
            const auto low = [this](size_t i) {
                return static_cast<unsigned char>(m_bytes[i]) < 0x80;
            };
            while (end >= 2 && !(low(end - 1) && low(end - 2)))
                --end;
            if (end < 2)
                return;
        }
        m_decoded.clear();
        m_bytesDecoder->decode(std::string_view(m_bytes).substr(0, end), m_decoded);
        m_bytes.erase(0, end);
        route(m_decoded);
    }

    void hexByte(unsigned char byte)
    {
        if (m_ucSkip > 0) {
            --m_ucSkip;
            return;
        }
        if ((byte == '\r' || byte == '\n') && !m_stack.empty() && top().dest == Dest::Normal) {
            flushBytes();
            paragraphEnd();
            return;
        }
        const char c = static_cast<char>(byte);
        textBytes(std::string_view(&c, 1));
    }

    void flushBytes()
    {
        if (m_bytes.empty())
            return;
        m_decoded.clear();
        m_bytesDecoder->decode(m_bytes, m_decoded);
        m_bytes.clear();
        route(m_decoded);
    }

    void flushPendingSurrogate()
    {
        if (m_pendingHigh == 0)
            return;
        m_pendingHigh = 0;
        const char16_t replacement = u'\uFFFD';
        routeRaw(QStringView(&replacement, 1));
    }

    void route(QStringView text)
    {
        flushPendingSurrogate();
        routeRaw(text);
    }

    // Sends decoded text to wherever the current destination keeps it.
    void routeRaw(QStringView text)
    {
        if (!acceptsText())
            return;
        GroupState &s = top();
        switch (s.dest) {
        case Dest::Normal:
            if (!m_text.isEmpty() && !(m_textFormat == s.chr))
                flushText();
            m_textFormat = s.chr;
            appendEntryText(m_text, text);
            if (static_cast<size_t>(m_text.size()) >= kTextChunk &&
                !m_text.back().isHighSurrogate())
                flushText();
            break;
        case Dest::FontTable:
            if (m_currentFont >= 0) {
                Font &font = m_tables.fonts[static_cast<size_t>(m_currentFont)];
                for (const QChar ch : text) {
                    if (font.nameDone)
                        break;
                    if (ch == u';') {
                        font.nameDone = true;
                        font.name = font.name.trimmed();
                    } else if (font.name.size() < kMaxFontName) {
                        font.name += ch;
                    }
                }
            }
            break;
        case Dest::FontAltName:
            if (m_currentFont >= 0) {
                Font &font = m_tables.fonts[static_cast<size_t>(m_currentFont)];
                for (const QChar ch : text)
                    if (ch != u';' && font.altName.size() < kMaxFontName)
                        font.altName += ch;
            }
            break;
        case Dest::ColorTable:
            for (const QChar ch : text) {
                if (ch != u';' || m_tables.colors.size() >= kMaxColors)
                    continue;
                m_tables.colors.push_back(m_colorGiven ? QColor(m_red, m_green, m_blue) : QColor());
                m_colorGiven = false;
                m_red = m_green = m_blue = 0;
            }
            break;
        case Dest::FieldInst:
            if (s.fieldCount > 0)
                addToInstruction(m_fields[static_cast<size_t>(s.fieldCount - 1)], text);
            break;
        case Dest::Suppress:
            break;
        }
    }

    void routeChar(char16_t ch) { route(QStringView(&ch, 1)); }

    static void addToInstruction(FieldInfo &field, QStringView text)
    {
        // Once the result has been read the instruction changes nothing.
        if (field.link != -2)
            return;
        if (field.instruction.size() + text.size() > kMaxFieldInstruction) {
            field.instruction = QString();
            field.link = -1;
            return;
        }
        field.instruction += text;
    }

    void flushText()
    {
        if (m_text.isEmpty())
            return;
        m_sink.text(m_text, m_textFormat);
        m_text.clear();
    }

    bool inDocumentText() { return !m_stack.empty() && top().dest == Dest::Normal; }

    void paragraphEnd()
    {
        if (!inDocumentText())
            return;
        flushPendingSurrogate();
        flushText();
        m_sink.paragraphEnd(top().para);
    }

    void unicode(int value)
    {
        if (value < 0)
            value += 65536;
        const char16_t ch =
            value >= 0 && value <= 0xFFFF ? static_cast<char16_t>(value) : u'\uFFFD';
        if (QChar::isHighSurrogate(ch)) {
            flushPendingSurrogate();
            m_pendingHigh = ch;
        } else if (QChar::isLowSurrogate(ch)) {
            if (m_pendingHigh != 0) {
                const char16_t pair[2] = {m_pendingHigh, ch};
                m_pendingHigh = 0;
                routeRaw(QStringView(pair, 2));
            } else {
                routeChar(u'\uFFFD');
            }
        } else if (ch != 0) {
            routeChar(ch);
        }
        m_ucSkip = top().uc;
    }

    // --- control words and symbols ------------------------------------------

    void symbol(char c, bool afterOpen)
    {
        switch (c) {
        case '*':
            if (afterOpen)
                m_starPending = true;
            m_afterOpen = afterOpen;
            return;
        case '\\':
        case '{':
        case '}':
            if (m_ucSkip > 0) {
                --m_ucSkip;
                return;
            }
            textBytes(std::string_view(&c, 1));
            return;
        default:
            break;
        }
        flushBytes();
        if (m_starPending) {
            m_starPending = false;
            startSkipping();
            return;
        }
        switch (c) {
        case '~':
            routeChar(u'\u00A0');
            break;
        case '-':
            routeChar(u'\u00AD');
            break;
        case '_':
            routeChar(u'\u2011');
            break;
        case '\t':
            routeChar(u'\t');
            break;
        default:
            break;
        }
    }

    void word(const Token &t)
    {
        flushBytes();
        if (m_stack.empty())
            return;
        const auto &table = keywords();
        const auto it = table.find(t.text);
        const KwInfo info = it == table.end() ? KwInfo{} : it->second;
        if (m_starPending) {
            m_starPending = false;
            const bool known = info.kw == Kw::FieldInst || info.kw == Kw::FieldResult ||
                               info.kw == Kw::Ud || info.kw == Kw::NestTableProps ||
                               (info.kw == Kw::FontAltName && top().dest == Dest::FontTable);
            if (!known) {
                startSkipping();
                return;
            }
        }
        if (info.kw == Kw::Format)
            info.format(top(), t.param, !t.hasParam || t.param != 0);
        else if (isDestination(info.kw))
            destination(info.kw, top());
        else
            content(info, t.param, top());
    }

    // A word that says where the text of its group goes.
    void destination(Kw kw, GroupState &s)
    {
        switch (kw) {
        case Kw::SkipDest:
            startSkipping();
            break;
        case Kw::FontTable:
            s.dest = Dest::FontTable;
            m_currentFont = -1;
            break;
        case Kw::ColorTable:
            s.dest = Dest::ColorTable;
            m_colorGiven = false;
            m_red = m_green = m_blue = 0;
            break;
        case Kw::FontAltName:
            if (s.dest == Dest::FontTable)
                s.dest = Dest::FontAltName;
            else
                startSkipping();
            break;
        case Kw::Field: {
            const int parentCount =
                m_stack.size() >= 2 ? m_stack[m_stack.size() - 2].fieldCount : 0;
            m_fields.resize(static_cast<size_t>(parentCount));
            m_fields.push_back(FieldInfo{QString(), s.dest, -2});
            s.fieldCount = static_cast<int>(m_fields.size());
            break;
        }
        case Kw::FieldInst:
            if (s.fieldCount > 0)
                s.dest = Dest::FieldInst;
            else
                startSkipping();
            break;
        case Kw::FieldResult:
            fieldResult(s);
            break;
        case Kw::Object:
        case Kw::Upr:
            if (s.dest != Dest::Suppress)
                s.resume = s.dest;
            s.dest = Dest::Suppress;
            break;
        case Kw::Result:
        case Kw::Ud:
            if (s.dest == Dest::Suppress)
                s.dest = s.resume;
            break;
        default:
            break;
        }
    }

    // A word that adds to the document, its code page or its font and colour tables.
    void content(const KwInfo &info, int p, GroupState &s)
    {
        switch (info.kw) {
        case Kw::CodePage:
            setAnsiCodePage(info.value);
            break;
        case Kw::AnsiCpg:
            if (p > 0)
                setAnsiCodePage(p);
            break;
        case Kw::Deff:
            m_defaultFontNumber = p;
            break;
        case Kw::Font:
            font(s, p);
            break;
        case Kw::FCharset:
            if (s.dest == Dest::FontTable && m_currentFont >= 0)
                m_tables.fonts[static_cast<size_t>(m_currentFont)].charset = p;
            break;
        case Kw::Cpg:
            if (s.dest == Dest::FontTable && m_currentFont >= 0 && p > 0)
                m_tables.fonts[static_cast<size_t>(m_currentFont)].codePage = p;
            break;
        case Kw::Red:
        case Kw::Green:
        case Kw::Blue:
            if (s.dest == Dest::ColorTable) {
                const int v = std::clamp(p, 0, 255);
                (info.kw == Kw::Red ? m_red : info.kw == Kw::Green ? m_green : m_blue) = v;
                m_colorGiven = true;
            }
            break;
        case Kw::Par:
        case Kw::Row:
            paragraphEnd();
            break;
        case Kw::Line:
            if (inDocumentText() && acceptsText()) {
                flushPendingSurrogate();
                flushText();
                m_sink.lineBreak(s.chr);
            }
            break;
        case Kw::Tab:
            routeChar(u'\t');
            break;
        case Kw::Unicode:
            unicode(p);
            break;
        case Kw::UnicodeSkip:
            s.uc = std::clamp(p, 0, 255);
            break;
        case Kw::NamedChar:
            routeChar(static_cast<char16_t>(info.value));
            break;
        default:
            break;
        }
    }

    void setAnsiCodePage(int codePage)
    {
        m_ansiCodePage = codePage;
        for (GroupState &s : m_stack)
            s.decoder = nullptr;
    }

    void font(GroupState &s, int number)
    {
        if (s.dest == Dest::FontTable) {
            if (m_tables.fonts.size() >= kMaxFonts) {
                m_currentFont = -1;
                return;
            }
            m_tables.fonts.push_back(Font{number, -1, 0, QString(), QString(), false});
            m_currentFont = static_cast<int>(m_tables.fonts.size()) - 1;
            m_fontIndex[number] = m_currentFont;
            return;
        }
        if (s.dest != Dest::Normal)
            return;
        const auto it = m_fontIndex.find(number);
        s.chr.font = it == m_fontIndex.end() ? -2 : it->second;
        s.decoder = nullptr;
    }

    void fontTableDone()
    {
        for (Font &font : m_tables.fonts)
            if (!font.nameDone)
                font.name = font.name.trimmed();
        const auto it = m_fontIndex.find(m_defaultFontNumber);
        m_tables.defaultFont = it == m_fontIndex.end() ? -1 : it->second;
        for (GroupState &s : m_stack)
            s.decoder = nullptr;
    }

    void fieldResult(GroupState &s)
    {
        if (s.fieldCount <= 0) {
            startSkipping();
            return;
        }
        FieldInfo &field = m_fields[static_cast<size_t>(s.fieldCount - 1)];
        if (field.link == -2) {
            const QString target =
                m_tables.links.size() < kMaxLinks ? hyperlinkTarget(field.instruction) : QString();
            if (target.isEmpty()) {
                field.link = -1;
            } else {
                m_tables.links.push_back(target);
                field.link = static_cast<int>(m_tables.links.size()) - 1;
            }
        }
        if (field.link >= 0)
            s.chr.link = field.link;
        s.dest = field.owner;
    }

    Tokenizer m_tokens;
    Sink &m_sink;
    Tables m_tables;
    std::vector<GroupState> m_stack;
    std::vector<FieldInfo> m_fields;
    std::unordered_map<int, int> m_fontIndex;
    ParaFormat m_lastPara;

    int m_excess = 0; // groups opened beyond the depth limit and not yet closed
    bool m_skipping = false;
    int m_skipNest = 0;
    bool m_afterOpen = false;
    bool m_starPending = false;
    bool m_outerClosed = false;
    int m_ucSkip = 0;
    char16_t m_pendingHigh = 0;

    int m_ansiCodePage = 1252;
    int m_defaultFontNumber = 0;
    int m_currentFont = -1;
    bool m_colorGiven = false;
    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;

    std::string m_bytes;
    const CodePageDecoder *m_bytesDecoder = nullptr;
    QString m_decoded;
    QString m_text;
    CharFormat m_textFormat;
};

// Where an RTF document begins: after a UTF-8 byte-order mark and white space, which
// some editors and copy tools put before it, at "{\rtf" in any letter case. npos when
// the bytes are no RTF.
size_t rtfStart(std::string_view data)
{
    size_t at = data.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (at < data.size() && (data[at] == ' ' || (data[at] >= '\t' && data[at] <= '\r')))
        ++at;
    const std::string_view header = data.substr(at, 5);
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (header.size() < 5 || header[0] != '{' || header[1] != '\\' || lower(header[2]) != 'r' ||
        lower(header[3]) != 't' || lower(header[4]) != 'f')
        return std::string_view::npos;
    return at;
}

void readPlainText(std::string_view data, Sink &sink)
{
    Tables tables;
    sink.begin(tables);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(QByteArrayView(data.data(), static_cast<qsizetype>(data.size())));
    if (utf8.hasError()) {
        text.clear();
        CodePageDecoder::forCodePage(1251).decode(data, text);
    }
    CharFormat format;
    format.halfPoints = kDefaultHalfPoints;
    const ParaFormat para;
    QString line;
    qsizetype start = 0;
    for (;;) {
        const qsizetype nl = text.indexOf(u'\n', start);
        qsizetype stop = nl < 0 ? text.size() : nl;
        if (stop > start && text.at(stop - 1) == u'\r')
            --stop;
        if (stop > start) {
            line.clear();
            appendEntryText(line, QStringView(text).mid(start, stop - start));
            if (!line.isEmpty())
                sink.text(line, format);
        }
        if (nl < 0)
            break;
        sink.paragraphEnd(para);
        start = nl + 1;
    }
    sink.end(para);
}

} // namespace

void read(std::string_view data, Sink &sink)
{
    const size_t start = rtfStart(data);
    if (start == std::string_view::npos) {
        readPlainText(data, sink);
        return;
    }
    Reader reader(data.substr(start), sink);
    reader.run();
}

QString toPlainText(std::string_view data)
{
    PlainTextSink sink;
    read(data, sink);
    return sink.result();
}

} // namespace rtf
