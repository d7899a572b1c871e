// Feeds arbitrary bytes to the RTF reader, into both sinks, and writes the
// resulting document back out, so that neither reading nor writing what was
// read can crash, hang or run away with memory.

#include "controls/richtext/rtfdocumentsink.h"
#include "controls/richtext/rtfreader.h"
#include "controls/richtext/rtfwriter.h"

#include <QGuiApplication>
#include <QTextCursor>
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

    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    QTextDocument document;
    document.setDefaultFont(font);
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    rtf::DocumentSink sink(cursor, font);
    rtf::read(bytes, sink);
    cursor.endEditBlock();

    const QByteArray written = rtf::write(document, font);
    rtf::PlainTextSink again;
    rtf::read(std::string_view(written.constData(), static_cast<size_t>(written.size())), again);
    return 0;
}
