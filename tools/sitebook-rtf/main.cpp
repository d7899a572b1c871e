// sitebook-rtf: the rich-text control's reader and writer for scripts, debugging
// and benchmarks. Not the program's own command line (which takes no arguments).

#include "controls/richtext/richtextbox.h"
#include "controls/richtext/rtfreader.h"

#include <QApplication>
#include <QFile>
#include <QTextDocument>

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

bool readAll(const char *path, QByteArray &data)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "sitebook-rtf: cannot read \"%s\": %s\n", path,
                     qPrintable(file.errorString()));
        return false;
    }
    data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        std::fprintf(stderr, "sitebook-rtf: cannot read \"%s\": %s\n", path,
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
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
    // No QApplication: the plain-text sink builds no document.
    QByteArray data;
    if (!readAll(path, data))
        return 1;
    QString plain =
        rtf::toPlainText(std::string_view(data.constData(), static_cast<size_t>(data.size())));
    if (!plain.isEmpty() && !plain.endsWith(u'\n'))
        plain += u'\n';
    return writeStdout(plain.toUtf8()) ? 0 : 1;
}

int withWidgets(int argc, char **argv, const char *mode)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RichTextBox box;
    const Status loaded = box.loadFile(QFile::decodeName(argv[2]));
    if (!loaded) {
        std::fprintf(stderr, "sitebook-rtf: %s\n", qPrintable(loaded.message()));
        return 1;
    }
    if (std::strcmp(mode, "html") == 0)
        return writeStdout(box.document()->toHtml().toUtf8()) ? 0 : 1;
    const Status saved = box.saveFile(QFile::decodeName(argv[3]));
    if (!saved) {
        std::fprintf(stderr, "sitebook-rtf: %s\n", qPrintable(saved.message()));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "text") == 0)
        return text(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "html") == 0)
        return withWidgets(argc, argv, "html");
    if (argc == 4 && std::strcmp(argv[1], "resave") == 0)
        return withWidgets(argc, argv, "resave");
    usage();
    return 2;
}
