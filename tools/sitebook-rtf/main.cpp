// sitebook-rtf: the program's RTF reader and writer for scripts, debugging and
// benchmarks. Not the program's own command line (which takes no arguments).

#include "entryfile/entryfile.h"
#include "rtf/rtfdocumentsink.h"
#include "rtf/rtfmeasure.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QTextDocument>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void usage()
{
    std::fputs("usage: sitebook-rtf text FILE      print the plain text (UTF-8)\n"
               "       sitebook-rtf html FILE      print the document as HTML\n"
               "       sitebook-rtf resave IN OUT  load IN and save it to OUT as the editor "
               "would\n",
               stderr);
}

bool fail(const Status &status)
{
    std::fprintf(stderr, "sitebook-rtf: %s\n", qPrintable(status.message()));
    return false;
}

std::string_view view(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Reads the file as the program reads an entry: regular files only, within the size cap.
bool readEntry(const char *path, QByteArray &data)
{
    const Status status = entryfile::read(QFile::decodeName(path), data);
    return status ? true : fail(status);
}

bool writeStdout(const QByteArray &bytes)
{
    if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) !=
            static_cast<size_t>(bytes.size()) ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "sitebook-rtf: cannot write the output: %s\n", std::strerror(errno));
        return false;
    }
    return true;
}

int text(const char *path)
{
    // No application object: the plain-text sink builds no document.
    QByteArray data;
    if (!readEntry(path, data))
        return 1;
    QString plain = rtf::toPlainText(view(data));
    if (!plain.isEmpty() && !plain.endsWith(u'\n'))
        plain += u'\n';
    return writeStdout(plain.toUtf8()) ? 0 : 1;
}

// Loads the file into a document as the rich-text box does, refusing what it refuses.
bool loadDocument(const char *path, QTextDocument &document)
{
    QByteArray data;
    if (!readEntry(path, data))
        return false;
    if (rtf::readInto(view(data), document).tooLarge())
        return fail(Status::failure(QStringLiteral("Cannot read the entry \"%1\": %2")
                                        .arg(QFile::decodeName(path), rtf::Measure::refusal())));
    return true;
}

int withDocument(int argc, char **argv, const char *mode)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextDocument document;
    if (!loadDocument(argv[2], document))
        return 1;
    if (std::strcmp(mode, "html") == 0)
        return writeStdout(document.toHtml().toUtf8()) ? 0 : 1;
    // Saved as the editor saves: only what the program could show again, and only over
    // a regular file this user may write.
    const QString out = QFile::decodeName(argv[3]);
    const QByteArray bytes = rtf::write(document);
    if (rtf::measure(view(bytes)).tooLarge())
        return fail(Status::failure(QStringLiteral("Cannot write the entry \"%1\": %2")
                                        .arg(out, rtf::Measure::refusal()))),
               1;
    const Status saved = entryfile::replace(out, bytes);
    return saved ? 0 : (fail(saved), 1);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "text") == 0)
        return text(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "html") == 0)
        return withDocument(argc, argv, "html");
    if (argc == 4 && std::strcmp(argv[1], "resave") == 0)
        return withDocument(argc, argv, "resave");
    usage();
    return 2;
}
