// Feeds arbitrary bytes to the RTF reader, into the plain-text and measuring sinks
// and, for what the program would show, into a document that is written back out,
// so that neither reading nor writing what was read can crash, hang or run away with
// memory.

#include "rtf/rtfdocumentsink.h"
#include "rtf/rtfmeasure.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    rtf::PlainTextSink plain;
    rtf::read(bytes, plain);

    // The program refuses such entries before it builds them; building them here would
    // only spend the run's time on documents no user ever sees.
    if (rtf::measure(bytes).tooLarge())
        return 0;
    QTextDocument document;
    rtf::readInto(bytes, document);

    const QByteArray written = rtf::write(document);
    rtf::PlainTextSink again;
    rtf::read(std::string_view(written.constData(), static_cast<size_t>(written.size())), again);
    return 0;
}
