#pragma once

#include <QColor>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <cstddef>
#include <string_view>
#include <vector>

// Reads an RTF document (or, when the bytes do not begin with "{\rtf", a plain-text
// one) and hands what it finds to a sink: text runs with their character format,
// line and paragraph breaks with the paragraph's format. A UTF-8 byte-order mark and
// white space before "{\rtf" are passed over, and "rtf" may be in any letter case.
// The reader never fails: whatever it cannot understand it skips, and what it read
// before a cut or a missing brace is kept.
namespace rtf {

enum class VerticalAlign : unsigned char { Normal, Super, Sub };
enum class Alignment : unsigned char { Left, Center, Right, Justify };

struct CharFormat {
    int font = -1; // index into Tables::fonts; -1 for the document's default font
    int halfPoints = 24;
    int foreground = 0; // index into Tables::colors; 0 is "auto"
    int background = 0;
    int link = -1; // index into Tables::links
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    VerticalAlign vertical = VerticalAlign::Normal;

    bool operator==(const CharFormat &) const = default;
};

struct ParaFormat {
    Alignment alignment = Alignment::Left;
    int leftTwips = 0;
    int rightTwips = 0;
    int firstTwips = 0;

    bool operator==(const ParaFormat &) const = default;
};

struct Font {
    int number = 0;
    int charset = -1;
    int codePage = 0; // from \cpg; 0 when absent
    QString name;
    QString altName; // {\*\fname ...}: the face's real name when `name` carries a charset suffix
    bool nameDone = false;

    // The face a renderer should look for.
    QString family() const { return altName.isEmpty() ? name : altName; }
};

struct Tables {
    std::vector<Font> fonts;
    std::vector<QColor> colors; // an invalid colour stands for "auto"
    std::vector<QString> links;
    int defaultFont = -1; // index into fonts
};

class Sink {
public:
    virtual ~Sink() = default;
    // The tables stay alive and only grow while reading; a sink may keep the reference.
    virtual void begin(const Tables &tables) = 0;
    virtual void text(QStringView text, const CharFormat &format) = 0;
    virtual void lineBreak(const CharFormat &format) = 0;
    // Ends the current paragraph, which has the given format.
    virtual void paragraphEnd(const ParaFormat &format) = 0;
    // The end of the document; the last paragraph (if it was not ended) has this format.
    virtual void end(const ParaFormat &format) = 0;
};

// Groups nested deeper than this are read as if their braces were not there.
constexpr int kMaxGroupDepth = 4000;
// Real documents have tens of fonts and colours and at most some thousands of links;
// what a table holds past these is ignored, so that a file of nothing but table
// entries cannot take memory many times its own size.
constexpr std::size_t kMaxFonts = 4096;
constexpr std::size_t kMaxColors = 4096;
constexpr std::size_t kMaxLinks = 65536;
// Font names are at most 31 characters where RTF comes from; a field instruction
// longer than this holds no address a user would keep, and its field is no link.
constexpr qsizetype kMaxFontName = 256;
constexpr qsizetype kMaxFieldInstruction = 16384;

void read(std::string_view data, Sink &sink);

// A sink that keeps only the text: paragraphs and line breaks become '\n'.
class PlainTextSink final : public Sink {
    Q_DISABLE_COPY_MOVE(PlainTextSink)

public:
    PlainTextSink() = default;
    void begin(const Tables &) override {}
    void text(QStringView text, const CharFormat &) override { m_text += text; }
    void lineBreak(const CharFormat &) override { m_text += QLatin1Char('\n'); }
    void paragraphEnd(const ParaFormat &) override { m_text += QLatin1Char('\n'); }
    void end(const ParaFormat &) override {}

    const QString &result() const { return m_text; }

private:
    QString m_text;
};

QString toPlainText(std::string_view data);

} // namespace rtf
