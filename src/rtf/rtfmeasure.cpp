#include "rtf/rtfmeasure.h"

#include "rtf/rtfreader.h"

namespace rtf {
namespace {

class MeasureSink final : public Sink {
public:
    void begin(const Tables &) override {}
    void text(QStringView text, const CharFormat &) override
    {
        result.characters += text.size();
        for (const QChar ch : text) {
            m_run = ch.isSpace() ? 0 : m_run + 1;
            result.unbreakable = result.unbreakable || m_run > Measure::kLongestWord;
        }
    }
    void lineBreak(const CharFormat &) override { breakRun(); }
    void paragraphEnd(const ParaFormat &) override
    {
        ++result.paragraphs;
        breakRun();
    }
    void end(const ParaFormat &) override {}

    Measure result;

private:
    void breakRun()
    {
        ++result.characters;
        m_run = 0;
    }

    qsizetype m_run = 0;
};

} // namespace

QString Measure::refusal()
{
    return QStringLiteral("it holds more than %1 characters or %2 paragraphs, more than "
                          "Sitebook can show")
        .arg(kMaxCharacters)
        .arg(kMaxParagraphs);
}

Measure measure(std::string_view data)
{
    MeasureSink sink;
    read(data, sink);
    return sink.result;
}

} // namespace rtf
