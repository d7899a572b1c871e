#include "controls/richtext/richtextbox.h"

#include "controls/richtext/rtfdocumentsink.h"
#include "controls/richtext/rtfreader.h"
#include "controls/richtext/rtfwriter.h"

#include <QFile>
#include <QLoggingCategory>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTextCursor>
#include <QTextDocument>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Quiet unless asked for: the caller decides whether a failure is shown.
Q_LOGGING_CATEGORY(lcRichText, "sitebook.richtext", QtInfoMsg)

namespace {

// Larger entries are not notes about a web site; reading them whole could exhaust memory.
constexpr qint64 kMaxEntryBytes = 64 * 1024 * 1024;

QString readFailure(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot read the entry \"%1\": %2").arg(path, reason);
}

// Reads a regular file whole. The open does not block, so a FIFO or a device
// under the entry's name is refused instead of hanging the program.
Status readRegularFile(const QString &path, QByteArray &contents)
{
    const QByteArray nativePath = QFile::encodeName(path);
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Status::failure(readFailure(path, qt_error_string(errno)));
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};

    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return Status::failure(readFailure(path, qt_error_string(errno)));
    if (S_ISDIR(info.st_mode))
        return Status::failure(readFailure(path, qt_error_string(EISDIR)));
    if (!S_ISREG(info.st_mode))
        return Status::failure(readFailure(path, QStringLiteral("Not a regular file")));
    if (info.st_size > kMaxEntryBytes)
        return Status::failure(readFailure(
            path, QStringLiteral("The file is larger than %1 MiB").arg(kMaxEntryBytes >> 20)));

    QByteArray data;
    data.resize(static_cast<qsizetype>(info.st_size));
    qsizetype done = 0;
    for (;;) {
        if (done == data.size()) {
            // The file may have grown since fstat; read on, within the cap.
            if (data.size() >= kMaxEntryBytes)
                return Status::failure(readFailure(
                    path,
                    QStringLiteral("The file is larger than %1 MiB").arg(kMaxEntryBytes >> 20)));
            data.resize(std::min<qsizetype>(data.size() + 65536, kMaxEntryBytes + 1));
        }
        const ssize_t n = ::read(fd, data.data() + done, static_cast<size_t>(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Status::failure(readFailure(path, qt_error_string(errno)));
        }
        if (n == 0)
            break;
        done += n;
    }
    data.truncate(done);
    contents = std::move(data);
    return Status::success();
}

QString writeFailure(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot write the entry \"%1\": %2").arg(path, reason);
}

// Replaces the file whole or not at all: the bytes go to a hidden file beside it, are
// flushed to the disk, and only then renamed over it. QSaveFile would do the same, but
// its temporary name adds seven characters to the entry's, so it cannot save an entry
// whose name is near the file system's 255-byte limit; the hidden name here is short
// and never shown in the list.
Status writeWhole(const QString &path, const QByteArray &bytes)
{
    // A link stays a link: its target is what gets the new text.
    QString target = path;
    if (const QFileInfo info(path); info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    const QFileInfo targetInfo(target);

    QTemporaryFile temporary(targetInfo.absolutePath() + QStringLiteral("/.sitebook-XXXXXX"));
    if (!temporary.open())
        return Status::failure(writeFailure(path, temporary.errorString()));
    const bool written = temporary.write(bytes) == bytes.size() && temporary.flush();
    if (!written)
        return Status::failure(writeFailure(path, temporary.errorString()));
    if (::fsync(temporary.handle()) != 0)
        return Status::failure(writeFailure(path, qt_error_string(errno)));

    // The new file gets the old one's permissions, or those a new file would get.
    struct stat old {};
    mode_t mode = 0;
    if (::stat(QFile::encodeName(target).constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(temporary.handle(), mode);

    if (::rename(QFile::encodeName(temporary.fileName()).constData(),
                 QFile::encodeName(target).constData()) != 0)
        return Status::failure(writeFailure(path, qt_error_string(errno)));
    temporary.setAutoRemove(false);
    return Status::success();
}

} // namespace

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(true);
    setFont(defaultFont());
    resetDefaultFormat();
}

QFont RichTextBox::defaultFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    return font;
}

void RichTextBox::resetDefaultFormat()
{
    document()->setDefaultFont(defaultFont());
    setCurrentCharFormat(QTextCharFormat());
}

Status RichTextBox::loadFile(const QString &path)
{
    QByteArray contents;
    if (Status status = readRegularFile(path, contents); !status) {
        qCDebug(lcRichText) << status.message();
        return status;
    }
    setTextRTF(contents);
    m_fileName = path;
    return Status::success();
}

Status RichTextBox::saveFile(const QString &path) const
{
    return writeWhole(path, textRTF());
}

void RichTextBox::setText(const QString &text)
{
    setPlainText(text);
    resetDefaultFormat();
}

QByteArray RichTextBox::textRTF() const
{
    return rtf::write(*document(), defaultFont());
}

void RichTextBox::setTextRTF(const QByteArray &rtf)
{
    QTextDocument *doc = document();
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->clear();
    resetDefaultFormat();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    rtf::DocumentSink sink(cursor, defaultFont());
    rtf::read(std::string_view(rtf.constData(), static_cast<size_t>(rtf.size())), sink);
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(undo);
    moveCursor(QTextCursor::Start);
}
