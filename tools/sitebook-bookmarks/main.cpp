// sitebook-bookmarks: browser bookmarks into the list and the list out as bookmarks.
// Not the program's own command line (which takes no arguments).

#include "bookmarks/bookmarkfile.h"
#include "bookmarks/bookmarks.h"
#include "entryfile/entryfile.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void usage()
{
    std::fputs("usage: sitebook-bookmarks import [--list DIR] FILE   add the bookmarks of FILE\n"
               "       sitebook-bookmarks export [--list DIR] [-o FILE]   write the list as "
               "bookmarks\n"
               "The list is the folder List in the current folder unless --list names it.\n",
               stderr);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "sitebook-bookmarks: %s\n", qPrintable(message));
    return 1;
}

// A bookmark file comes from anywhere, and the HTML parser has inputs whose cost grows
// with the square of their size (thousands of attributes in one tag). Reading one may
// take this much processor time, ample for any file a browser wrote; past it, the
// import ends before anything has been written.
class ProcessorTimeLimit {
public:
    explicit ProcessorTimeLimit(qint64 bytes)
    {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        ::getrlimit(RLIMIT_CPU, &m_previous);
        rlimit limit = m_previous;
        limit.rlim_cur = rlim_t(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + 3 + (bytes >> 20));
        if (m_previous.rlim_cur != RLIM_INFINITY && limit.rlim_cur > m_previous.rlim_cur)
            limit.rlim_cur = m_previous.rlim_cur;
        std::signal(SIGXCPU, [](int) {
            static const char message[] = "sitebook-bookmarks: the file takes too long to read; "
                                          "it is no bookmark file a browser wrote. Nothing was "
                                          "imported.\n";
            [[maybe_unused]] const ssize_t ignored = ::write(2, message, sizeof message - 1);
            ::_exit(1);
        });
        ::setrlimit(RLIMIT_CPU, &limit);
    }
    ~ProcessorTimeLimit()
    {
        ::setrlimit(RLIMIT_CPU, &m_previous);
        std::signal(SIGXCPU, SIG_DFL);
    }
    Q_DISABLE_COPY_MOVE(ProcessorTimeLimit)

private:
    rlimit m_previous{};
};

void printSummary(const bookmarks::ImportSummary &summary, const QString &list)
{
    std::printf("Imported: %lld (into %s)\n", qlonglong(summary.imported), qPrintable(list));
    std::printf("Duplicates skipped: %lld (the address is an entry's already, or came earlier in "
                "the file)\n",
                qlonglong(summary.duplicates));
    std::printf("Other addresses skipped: %lld (only http, https, ftp and mailto addresses "
                "become entries)\n",
                qlonglong(summary.otherSchemes));
    if (summary.unreadable > 0)
        std::printf("Entries that could not be read, so not compared: %lld\n",
                    qlonglong(summary.unreadable));
    std::printf("Failed: %lld\n", qlonglong(summary.failures.size()));
    constexpr qsizetype shown = 20;
    for (qsizetype i = 0; i < qMin(shown, summary.failures.size()); ++i)
        std::printf("  %s\n", qPrintable(summary.failures[i]));
    if (summary.failures.size() > shown)
        std::printf("  ...and %lld more\n", qlonglong(summary.failures.size() - shown));
    if (!summary.failures.isEmpty())
        std::printf("Import the same file again to finish: what is already imported is skipped.\n");
}

int importFile(const QString &path, const QString &list)
{
    QByteArray html;
    if (QString reason; !entryfile::readWhole(path, html, reason))
        return fail(QStringLiteral("cannot read \"%1\": %2").arg(path, reason));
    if (!QFileInfo(list).isDir())
        return fail(QStringLiteral("there is no list folder \"%1\"").arg(list));
    bookmarks::BookmarkFile file;
    {
        const ProcessorTimeLimit limit(html.size());
        if (const Status read = bookmarks::read(html, file); !read)
            return fail(QStringLiteral("cannot import \"%1\": %2. Nothing was imported.")
                            .arg(path, read.message()));
    }
    html.clear();
    html.squeeze();

    const bool showProgress = ::isatty(STDERR_FILENO);
    const auto progress = [showProgress](qsizetype done, qsizetype total) {
        if (showProgress)
            std::fprintf(stderr, "\r%lld of %lld bookmarks%s", qlonglong(done), qlonglong(total),
                         done == total ? "\n" : "");
    };
    const bookmarks::ImportSummary summary = bookmarks::importInto(list, file, progress);
    printSummary(summary, list);
    return summary.failures.isEmpty() ? 0 : 1;
}

int exportList(const QString &list, const QString &output)
{
    if (!QFileInfo(list).isDir())
        return fail(QStringLiteral("there is no list folder \"%1\"").arg(list));
    bookmarks::ExportSummary summary;
    const QByteArray html = bookmarks::exportList(list, summary);
    for (const QString &failure : std::as_const(summary.failures))
        fail(failure);
    if (output.isEmpty()) {
        if (std::fwrite(html.constData(), 1, std::size_t(html.size()), stdout) !=
                std::size_t(html.size()) ||
            std::fflush(stdout) != 0)
            return fail(QStringLiteral("cannot write the output: %1").arg(qt_error_string(errno)));
    } else {
        QSaveFile file(output);
        if (!file.open(QIODevice::WriteOnly) || file.write(html) != html.size() || !file.commit())
            return fail(QStringLiteral("cannot write \"%1\": %2").arg(output, file.errorString()));
    }
    std::fprintf(stderr, "Exported %lld entries; %lld without a web or mail address left out.\n",
                 qlonglong(summary.exported), qlonglong(summary.withoutAddress));
    return summary.failures.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        usage();
        return 2;
    }
    const bool importing = std::strcmp(argv[1], "import") == 0;
    if (!importing && std::strcmp(argv[1], "export") != 0) {
        usage();
        return 2;
    }
    QString list = QStringLiteral("List");
    QString output;
    QStringList files;
    for (int i = 2; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--list") == 0 && hasValue) {
            list = QFile::decodeName(argv[++i]);
        } else if (std::strcmp(argv[i], "-o") == 0 && hasValue && !importing) {
            output = QFile::decodeName(argv[++i]);
        } else if (argv[i][0] != '-' && importing) {
            files << QFile::decodeName(argv[i]);
        } else {
            usage();
            return 2;
        }
    }
    if (!importing)
        return exportList(list, output);
    if (files.size() != 1) {
        usage();
        return 2;
    }
    // The entries are written by the program's own RTF writer, whose documents need
    // the fonts of a GUI application; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return importFile(files.first(), list);
}
