#include "controls/richtext/richtextbox.h"

#include "controls/richtext/rtfdocumentsink.h"
#include "controls/richtext/rtfreader.h"
#include "controls/richtext/rtfwriter.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
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
    QSaveFile file(path);
    const QByteArray rtf = textRTF();
    bool ok = file.open(QIODevice::WriteOnly);
    ok = ok && file.write(rtf) == rtf.size();
    // The bytes sit in the buffer until flushed; a flush that fails for want of space
    // must stop the save here, or commit() would put an empty file in place of the entry.
    ok = ok && file.flush();
    if (!ok) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Status::failure(
            QStringLiteral("Cannot write the entry \"%1\": %2").arg(path, reason));
    }
    if (!file.commit())
        return Status::failure(
            QStringLiteral("Cannot write the entry \"%1\": %2").arg(path, file.errorString()));
    return Status::success();
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
