#include "rtf/rtfwriter.h"

#include "rtf/rtfcodepage.h"
#include "rtf/rtfdefaults.h"

#include <QColor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <cmath>
#include <vector>

namespace rtf {

namespace {

struct RunState {
    int font = 0;
    int halfPoints = kDefaultHalfPoints;
    int foreground = 0;
    int background = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int vertical = 0; // 0 normal, 1 super, 2 sub
};

struct ParaState {
    int alignment = 0; // 0 left, 1 centre, 2 right, 3 justify
    int left = 0;
    int right = 0;
    int first = 0;
    bool operator==(const ParaState &) const = default;
};

void appendNumber(QByteArray &out, const char *word, long value)
{
    out += word;
    out += QByteArray::number(static_cast<qlonglong>(value));
}

class Writer {
    Q_DISABLE_COPY_MOVE(Writer)

public:
    explicit Writer(const QTextDocument &document)
        : m_document(document), m_defaultFamily(entryFont().family())
    {
    }

    QByteArray run()
    {
        collectTables();
        m_out.reserve(m_document.characterCount() + 256);
        m_out += "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*\\fname ";
        appendEscaped(m_defaultFamily, false);
        m_out += ";}";
        appendEscaped(m_defaultFamily, false);
        m_out += " CYR;}";
        for (size_t i = 0; i < m_fonts.size(); ++i) {
            appendNumber(m_out, "{\\f", static_cast<long>(i + 1));
            // Every font says cp1251, the code page our \'hh bytes are in.
            m_out += "\\fnil\\fcharset204 ";
            appendEscaped(m_fonts[i], false);
            m_out += ";}";
        }
        m_out += "}\r\n";
        if (!m_colors.empty()) {
            m_out += "{\\colortbl ;";
            for (const QRgb rgb : m_colors) {
                appendNumber(m_out, "\\red", qRed(rgb));
                appendNumber(m_out, "\\green", qGreen(rgb));
                appendNumber(m_out, "\\blue", qBlue(rgb));
                m_out += ';';
            }
            m_out += "}\r\n";
        }
        m_out += "\\viewkind4\\uc1\\pard";
        ParaState para;
        bool first = true;
        for (QTextBlock block = m_document.begin(); block.isValid(); block = block.next()) {
            const ParaState next = paraState(block.blockFormat());
            if (first) {
                appendPara(next);
                m_out += "\\lang1049\\f0\\fs20 ";
                first = false;
            } else {
                m_out += "\r\n\\par";
                if (!(next == para)) {
                    m_out += "\\pard";
                    appendPara(next);
                }
                m_out += ' ';
            }
            para = next;
            writeBlock(block);
        }
        if (first)
            m_out += "\\lang1049\\f0\\fs20 ";
        m_out += "\r\n\\par }\r\n";
        return m_out;
    }

private:
    static QString familyOf(const QTextCharFormat &format)
    {
        const QStringList families = format.fontFamilies().toStringList();
        return families.isEmpty() ? QString() : families.first();
    }

    static bool hasBrush(const QTextFormat &format, int property)
    {
        return format.hasProperty(property) &&
               format.brushProperty(property).style() != Qt::NoBrush;
    }

    int fontIndex(const QTextCharFormat &format) const
    {
        const QString family = familyOf(format);
        if (family.isEmpty() || family.compare(m_defaultFamily, Qt::CaseInsensitive) == 0)
            return 0;
        for (size_t i = 0; i < m_fonts.size(); ++i)
            if (m_fonts[i] == family)
                return static_cast<int>(i) + 1;
        return 0;
    }

    int colorIndex(const QTextFormat &format, int property) const
    {
        if (!hasBrush(format, property))
            return 0;
        const QRgb rgb = format.brushProperty(property).color().rgb() & 0xFFFFFF;
        for (size_t i = 0; i < m_colors.size(); ++i)
            if ((m_colors[i] & 0xFFFFFF) == rgb)
                return static_cast<int>(i) + 1;
        return 0;
    }

    void collectTables()
    {
        for (QTextBlock block = m_document.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                const QString family = familyOf(format);
                if (!family.isEmpty() &&
                    family.compare(m_defaultFamily, Qt::CaseInsensitive) != 0 &&
                    std::find(m_fonts.begin(), m_fonts.end(), family) == m_fonts.end())
                    m_fonts.push_back(family);
                for (const int property :
                     {int(QTextFormat::ForegroundBrush), int(QTextFormat::BackgroundBrush)}) {
                    if (hasBrush(format, property) && colorIndex(format, property) == 0)
                        m_colors.push_back(format.brushProperty(property).color().rgb());
                }
            }
        }
    }

    static ParaState paraState(const QTextBlockFormat &format)
    {
        ParaState p;
        const Qt::Alignment h = format.alignment() & Qt::AlignHorizontal_Mask;
        if (h & Qt::AlignJustify)
            p.alignment = 3;
        else if (h & Qt::AlignHCenter)
            p.alignment = 1;
        else if (h & (Qt::AlignRight | Qt::AlignTrailing))
            p.alignment = 2;
        p.left = static_cast<int>(std::lround(format.leftMargin() * double(kTwipsPerPixel)));
        p.right = static_cast<int>(std::lround(format.rightMargin() * double(kTwipsPerPixel)));
        p.first = static_cast<int>(std::lround(format.textIndent() * double(kTwipsPerPixel)));
        return p;
    }

    void appendPara(const ParaState &p)
    {
        static const char *const kAlign[] = {"", "\\qc", "\\qr", "\\qj"};
        m_out += kAlign[p.alignment];
        if (p.left != 0)
            appendNumber(m_out, "\\li", p.left);
        if (p.right != 0)
            appendNumber(m_out, "\\ri", p.right);
        if (p.first != 0)
            appendNumber(m_out, "\\fi", p.first);
    }

    RunState runState(const QTextCharFormat &format) const
    {
        RunState r;
        r.font = fontIndex(format);
        if (format.hasProperty(QTextFormat::FontPointSize))
            r.halfPoints = static_cast<int>(std::lround(format.fontPointSize() * 2));
        if (r.halfPoints <= 0)
            r.halfPoints = kDefaultHalfPoints;
        r.bold = format.fontWeight() >= QFont::DemiBold;
        r.italic = format.fontItalic();
        r.underline = format.fontUnderline();
        r.strike = format.fontStrikeOut();
        r.foreground = colorIndex(format, QTextFormat::ForegroundBrush);
        r.background = colorIndex(format, QTextFormat::BackgroundBrush);
        switch (format.verticalAlignment()) {
        case QTextCharFormat::AlignSuperScript:
            r.vertical = 1;
            break;
        case QTextCharFormat::AlignSubScript:
            r.vertical = 2;
            break;
        default:
            break;
        }
        return r;
    }

    void switchTo(const RunState &r)
    {
        const qsizetype before = m_out.size();
        if (r.font != m_state.font)
            appendNumber(m_out, "\\f", r.font);
        if (r.halfPoints != m_state.halfPoints)
            appendNumber(m_out, "\\fs", r.halfPoints);
        if (r.bold != m_state.bold)
            m_out += r.bold ? "\\b" : "\\b0";
        if (r.italic != m_state.italic)
            m_out += r.italic ? "\\i" : "\\i0";
        if (r.underline != m_state.underline)
            m_out += r.underline ? "\\ul" : "\\ulnone";
        if (r.strike != m_state.strike)
            m_out += r.strike ? "\\strike" : "\\strike0";
        if (r.foreground != m_state.foreground)
            appendNumber(m_out, "\\cf", r.foreground);
        if (r.background != m_state.background)
            appendNumber(m_out, "\\highlight", r.background);
        if (r.vertical != m_state.vertical) {
            static const char *const kVertical[] = {"\\nosupersub", "\\super", "\\sub"};
            m_out += kVertical[r.vertical];
        }
        if (m_out.size() != before)
            m_pendingSpace = true;
        m_state = r;
    }

    void writeBlock(const QTextBlock &block)
    {
        QString openLink;
        RunState outside;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const QString href = format.isAnchor() ? format.anchorHref() : QString();
            if (href != openLink) {
                if (!openLink.isEmpty()) {
                    m_out += "}}}";
                    m_state = outside;
                    m_pendingSpace = false;
                }
                openLink = href;
                if (!openLink.isEmpty()) {
                    outside = m_state;
                    m_out += "{\\field{\\*\\fldinst{HYPERLINK \"";
                    m_pendingSpace = false;
                    appendEscaped(openLink, true);
                    m_out += "\"}}{\\fldrslt{";
                }
            }
            switchTo(runState(format));
            appendEscaped(fragment.text(), false);
        }
        if (!openLink.isEmpty()) {
            m_out += "}}}";
            m_state = outside;
            m_pendingSpace = false;
        }
    }

    // \tab and \line always carry their space, as the plain form has them.
    void appendWord(const char *word)
    {
        m_out += word;
        m_out += ' ';
        m_pendingSpace = false;
    }

    void appendByte(char c)
    {
        if (m_pendingSpace) {
            m_out += ' ';
            m_pendingSpace = false;
        }
        m_out += c;
    }

    void appendEscaped(const QString &text, bool inUrl)
    {
        static const char kHex[] = "0123456789abcdef";
        for (const QChar qc : text) {
            const char16_t ch = qc.unicode();
            if (inUrl && ch == u'"') {
                appendByte('%');
                m_out += "22";
                continue;
            }
            switch (ch) {
            case u'\\':
            case u'{':
            case u'}':
                appendByte('\\');
                m_out += static_cast<char>(ch);
                continue;
            case u'\t':
                appendWord("\\tab");
                continue;
            case QChar::LineSeparator:
            case QChar::ParagraphSeparator:
                appendWord("\\line");
                continue;
            case QChar::ObjectReplacementCharacter:
                continue;
            default:
                break;
            }
            if (ch < 0x20)
                continue; // control characters have no place in entry text
            if (ch < 0x80) {
                appendByte(static_cast<char>(ch));
                continue;
            }
            const unsigned char b = cp1251ByteFor(ch);
            if (b != 0) {
                appendByte('\\');
                m_out += '\'';
                m_out += kHex[b >> 4];
                m_out += kHex[b & 15];
                continue;
            }
            appendByte('\\');
            appendNumber(m_out, "u", static_cast<int16_t>(ch));
            m_out += '?';
        }
    }

    const QTextDocument &m_document;
    QString m_defaultFamily;
    std::vector<QString> m_fonts;
    std::vector<QRgb> m_colors;
    QByteArray m_out;
    RunState m_state;
    bool m_pendingSpace = false;
};

} // namespace

QByteArray write(const QTextDocument &document)
{
    return Writer(document).run();
}

} // namespace rtf
