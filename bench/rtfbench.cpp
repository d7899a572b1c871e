// The RTF reader and writer in process, in MB/s of the RTF file, on the file named
// by SITEBOOK_BENCH_RTF. The reader's tokenizer is internal to it, so the nearest
// figure to tokenizing alone is a read into a sink that keeps nothing.

#include "rtf/rtfdocumentsink.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"

#include <QGuiApplication>
#include <QFile>
#include <QTextCursor>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string_view>

namespace {

class NullSink final : public rtf::Sink {
public:
    NullSink() = default;
    Q_DISABLE_COPY_MOVE(NullSink)

    void begin(const rtf::Tables &) override {}
    void text(QStringView text, const rtf::CharFormat &) override { m_units += text.size(); }
    void lineBreak(const rtf::CharFormat &) override {}
    void paragraphEnd(const rtf::ParaFormat &) override {}
    void end(const rtf::ParaFormat &) override {}

    qsizetype units() const { return m_units; }

private:
    qsizetype m_units = 0;
};

QByteArray g_rtf;

std::string_view view(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void readInto(QTextDocument &document)
{
    rtf::readInto(view(g_rtf), document);
}

void rtfParse(benchmark::State &state)
{
    for (auto _ : state) {
        NullSink sink;
        rtf::read(view(g_rtf), sink);
        benchmark::DoNotOptimize(sink.units());
    }
    state.SetBytesProcessed(state.iterations() * g_rtf.size());
}

void rtfPlainText(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(rtf::toPlainText(view(g_rtf)));
    state.SetBytesProcessed(state.iterations() * g_rtf.size());
}

void rtfReadDocument(benchmark::State &state)
{
    QTextDocument document;
    document.setUndoRedoEnabled(false);
    for (auto _ : state) {
        readInto(document);
        benchmark::DoNotOptimize(document.characterCount());
    }
    state.SetBytesProcessed(state.iterations() * g_rtf.size());
}

void rtfWriteDocument(benchmark::State &state)
{
    QTextDocument document;
    document.setUndoRedoEnabled(false);
    readInto(document);
    for (auto _ : state)
        benchmark::DoNotOptimize(rtf::write(document));
    // Measured against the file it came from, so that read and write compare.
    state.SetBytesProcessed(state.iterations() * g_rtf.size());
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    const QString path = qEnvironmentVariable("SITEBOOK_BENCH_RTF");
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "sitebook-bench-rtf: set SITEBOOK_BENCH_RTF to a readable RTF file\n");
        return 2;
    }
    g_rtf = file.readAll();

    const bool quick = !qEnvironmentVariableIsEmpty("SITEBOOK_BENCH_QUICK");
    for (auto *b : {benchmark::RegisterBenchmark("rtf_parse", rtfParse),
                    benchmark::RegisterBenchmark("rtf_plain_text", rtfPlainText),
                    benchmark::RegisterBenchmark("rtf_read_document", rtfReadDocument),
                    benchmark::RegisterBenchmark("rtf_write", rtfWriteDocument)})
        b->Unit(benchmark::kMillisecond)
            ->MinTime(quick ? 0.05 : 0.5)
            ->Repetitions(quick ? 3 : 5)
            ->ReportAggregatesOnly(true);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
