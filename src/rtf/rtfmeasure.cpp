#include "rtf/rtfmeasure.h"

#include "rtf/rtfdefaults.h"
#include "rtf/rtfreader.h"

#include <algorithm>
#include <array>

namespace rtf {
namespace {

// Qt lays text out at 96 logical pixels to the inch: a half-point is 2/3 of a pixel.
constexpr double kPixelsPerHalfPoint = 96.0 / 72 / 2;
// Qt's distance between tab stops: a tab is never wider.
constexpr double kTabPixels = 80;

// The height of a line, in ems of the paragraph's largest font, and what rounding adds.
// Faces for Latin, Greek and Cyrillic have lines of 1.10 to 1.45 em; a paragraph with
// other scripts or symbols may take some from a fallback face with taller lines (a CJK
// face 1.45 em, Myanmar and Tibetan faces over 2).
constexpr double kLineEm = 1.5;
constexpr double kTallLineEm = 2.5;
constexpr double kLineRounding = 2;

// How wide a character is taken to be, in ems of its font. Real characters reach
// further: ASCII 1.12 em (W in DejaVu Serif), the rest below U+0590 (Latin, Greek,
// Cyrillic) 1.6 em (Ǆ, Ѭ), other scripts and symbols about 2 em. The estimate counts a
// line as full once it is half full, which covers the room word wrapping leaves and part
// of that difference; the rest stays within the margin kMaxHeight leaves: laid out by
// Qt, no text of the installed faces came out taller than 1.51 times its estimate (Ǆ in
// words of twelve, in C059).
constexpr double kAsciiEm = 0.6;
constexpr double kLatinEm = 0.75;
double otherEms(char16_t u)
{
    if (u == 0x2E3A || u == 0x2E3B || (u >= 0xFDFA && u <= 0xFDFD))
        return 4; // the two- and three-em dashes, the Arabic ligatures of whole phrases
    if (QChar::isSurrogate(u))
        return 1.5; // half of a character of another plane: emoji, historic scripts
    return 1;
}

// What the measure tells apart below U+0590.
constexpr char16_t kTableSize = 0x590;
constexpr unsigned char kLatin = 1; // not ASCII
constexpr unsigned char kTab = 2;
constexpr unsigned char kMark = 4; // a combining mark
constexpr unsigned char kSpace = 8;
constexpr std::array<unsigned char, kTableSize> kKinds = [] {
    std::array<unsigned char, kTableSize> kinds{};
    for (char16_t u = 0x80; u < kTableSize; ++u)
        kinds[u] = kLatin;
    for (char16_t u = 0x300; u < 0x370; ++u)
        kinds[u] |= kMark;
    for (char16_t u : {u'\t', u'\n', u'\v', u'\f', u'\r', u' ', u'\u0085', u'\u00a0'})
        kinds[u] |= kSpace;
    kinds[u'\t'] |= kTab;
    return kinds;
}();

// General punctuation (dashes, quotation marks) comes from the text's own face.
bool mayBeTall(char16_t u)
{
    return u >= 0x590 && !(u >= 0x2000 && u < 0x2070);
}

// Measures what it reads and, while the document stays within the limits, hands it on to
// the sink that builds it.
class MeasureSink final : public Sink {
public:
    explicit MeasureSink(Sink *next) : m_next(next) {}

    void begin(const Tables &tables) override
    {
        if (m_next)
            m_next->begin(tables);
    }
    void text(QStringView text, const CharFormat &format) override
    {
        result.characters += text.size();
        ++m_runs;
        const bool sameFont = format.font == m_font.font &&
                              format.halfPoints == m_font.halfPoints &&
                              format.bold == m_font.bold && format.italic == m_font.italic;
        if (!sameFont) {
            ++m_fontChanges;
            m_font = format;
        }
        const double em = format.halfPoints * kPixelsPerHalfPoint;
        m_em = std::max(m_em, em);
        // Most text is below U+0590 (ASCII, Latin, Greek, Cyrillic): a table tells its
        // characters apart, without branches that would go either way.
        const char16_t *const begin = text.utf16();
        const char16_t *const stop = begin + text.size();
        qsizetype latin = 0;
        qsizetype tabs = 0;
        qsizetype marks = 0;
        qsizetype otherCount = 0;
        double others = 0;
        qsizetype run = m_run;
        qsizetype longest = 0;
        for (const char16_t *p = begin; p != stop; ++p) {
            const char16_t u = *p;
            qsizetype space;
            if (u < kTableSize) {
                const unsigned kind = kKinds[u];
                latin += kind & kLatin;
                tabs += (kind & kTab) >> 1;
                marks += (kind & kMark) >> 2;
                space = (kind & kSpace) >> 3;
            } else {
                space = QChar::isSpace(u) ? 1 : 0;
                ++otherCount;
                others += otherEms(u);
                m_tall = m_tall || mayBeTall(u);
                // Into another script and, sooner or later, out of it.
                const qsizetype at = m_position + (p - begin);
                if (at != m_nextOther)
                    m_scriptChanges += 2;
                m_nextOther = at + 1;
            }
            longest = std::max(longest, run);
            run = (run + 1) * (1 - space);
        }
        longest = std::max(longest, run);
        m_run = run;
        m_position += text.size();
        result.unbreakable = result.unbreakable || longest > Measure::kLongestWord;
        const qsizetype ascii = text.size() - latin - tabs - otherCount;
        m_advance += (kAsciiEm * double(ascii) + kLatinEm * double(latin) + others) * em +
                     kTabPixels * double(tabs);
        m_complex += 2.0 * double(tabs) + double(marks + otherCount);
        m_characters += text.size();
        if (building())
            m_next->text(text, format);
    }
    void lineBreak(const CharFormat &format) override
    {
        breakRun();
        ++m_runs;
        ++m_segments;
        m_em = std::max(m_em, format.halfPoints * kPixelsPerHalfPoint);
        if (building())
            m_next->lineBreak(format);
    }
    void paragraphEnd(const ParaFormat &format) override
    {
        ++result.paragraphs;
        breakRun();
        endParagraph(format);
        if (building())
            m_next->paragraphEnd(format);
    }
    void end(const ParaFormat &format) override
    {
        // A final \par opens no paragraph of its own.
        if (m_characters > 0 || m_segments > 1 || result.paragraphs == 0)
            endParagraph(format);
        result.height += 2 * kDocumentMargin;
        result.microseconds = microseconds(m_lines);
        if (m_next)
            m_next->end(format);
    }

    Measure result;

private:
    void breakRun()
    {
        ++result.characters;
        ++m_position;
        m_run = 0;
    }

    // A line holds at least one character, and each line but a paragraph's last (or a
    // line break's) is more than half full: if it were not, the next word would have
    // fitted. A first-line indent may leave the first line to one character.
    double lines(double textWidth, bool firstIndent) const
    {
        const double half = std::max(textWidth / 2, 1.0);
        return double(m_segments) + (firstIndent ? 1 : 0) +
               std::min(double(m_characters), m_advance / half);
    }
    double lineHeight() const { return (m_tall ? kTallLineEm : kLineEm) * m_em + kLineRounding; }
    double microseconds(double lines) const
    {
        return 0.35 * double(result.characters) + 1.2 * m_complex +
               2.0 * double(m_scriptChanges + m_fontChanges) + 5.0 * double(m_runs) +
               7.0 * double(result.paragraphs) + 0.5 * lines;
    }

    void endParagraph(const ParaFormat &format)
    {
        const double indents = (std::max(format.leftTwips, 0) + std::max(format.rightTwips, 0)) /
                               double(kTwipsPerPixel);
        const double n = lines(Measure::kTextWidth - indents, format.firstTwips != 0);
        result.height += n * lineHeight();
        m_lines += n;
        m_advance = 0;
        m_characters = 0;
        m_segments = 1;
        m_em = kDefaultEm;
        m_tall = false;
    }

    // Whether what is read still goes on to the document: not once the document, its
    // open paragraph counted without its indents, is past the limits. What the document
    // holds by then is cut short, and its measure too large to show it.
    bool building()
    {
        if (m_next == nullptr || m_stopped)
            return false;
        const double open = lines(Measure::kTextWidth, false);
        Measure sofar = result;
        sofar.height += open * lineHeight();
        sofar.microseconds = microseconds(m_lines + open);
        m_stopped = sofar.tooLarge();
        return !m_stopped;
    }

    static constexpr double kDefaultEm = kDefaultHalfPoints * kPixelsPerHalfPoint;
    static constexpr double kDocumentMargin = 4;

    Sink *m_next;
    bool m_stopped = false;
    qsizetype m_run = 0;
    // The open paragraph: the width of its text in pixels, its characters other than line
    // breaks, its lines ended by line breaks plus one, its largest font in pixels, and
    // whether a fallback face may make its lines taller.
    double m_advance = 0;
    qsizetype m_characters = 0;
    qsizetype m_segments = 1;
    double m_em = kDefaultEm;
    bool m_tall = false;
    // The whole document, for the time it takes.
    double m_lines = 0;
    double m_complex = 0;
    qsizetype m_runs = 0;
    qsizetype m_scriptChanges = 0;
    qsizetype m_fontChanges = 0;
    // Characters of text read so far, and where a run of other scripts would go on.
    qsizetype m_position = 0;
    qsizetype m_nextOther = -1;
    CharFormat m_font;
};

} // namespace

QString Measure::refusal()
{
    return QStringLiteral("it holds more than %1 characters or %2 paragraphs, or more lines at "
                          "its font sizes than can be laid out in reasonable time, more than "
                          "Sitebook can show")
        .arg(kMaxCharacters)
        .arg(kMaxParagraphs);
}

Measure measure(std::string_view data, Sink *build)
{
    MeasureSink sink(build);
    read(data, sink);
    return sink.result;
}

} // namespace rtf
