#include "controls/richtext/richtextbox.h"

#include "controls/richtext/rtfdocumentsink.h"
#include "controls/richtext/rtfreader.h"
#include "controls/richtext/rtfwriter.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryFile>
#include <QTextBlock>
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

// Far longer than any real word or web address.
constexpr qsizetype kLongestWord = 2000;

bool hasUnbreakableRun(const QTextDocument &doc)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (text.size() <= kLongestWord)
            continue;
        qsizetype run = 0;
        for (const QChar ch : text) {
            run = ch.isSpace() ? 0 : run + 1;
            if (run > kLongestWord)
                return true;
        }
    }
    return false;
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
    std::unique_ptr<QTextDocument> loaded;
    // A cut-short document must never reach a box whose text may be saved back.
    if (!readDocument(contents, loaded))
        return Status::failure(readFailure(
            path, QStringLiteral("it holds more than %1 characters or %2 paragraphs, more "
                                 "than Sitebook can show")
                      .arg(rtf::DocumentSink::kMaxCharacters)
                      .arg(rtf::DocumentSink::kMaxParagraphs)));
    showDocument(std::move(loaded));
    m_fileName = path;
    return Status::success();
}

Status RichTextBox::saveFile(const QString &path) const
{
    return writeWhole(path, textRTF());
}

void RichTextBox::setText(const QString &text)
{
    // The selection timer empties the pane four times a second; a box that is already
    // empty in the default format would only be laid out again for nothing.
    const QTextDocument *doc = document();
    if (text.isEmpty() && doc->isEmpty() && doc->blockCount() == 1 &&
        doc->firstBlock().blockFormat() == QTextBlockFormat() &&
        currentCharFormat() == QTextCharFormat() &&
        wordWrapMode() == QTextOption::WrapAtWordBoundaryOrAnywhere)
        return;
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setPlainText(text);
    resetDefaultFormat();
}

QByteArray RichTextBox::textRTF() const
{
    return rtf::write(*document(), defaultFont());
}

void RichTextBox::setTextRTF(const QByteArray &rtf)
{
    std::unique_ptr<QTextDocument> document;
    readDocument(rtf, document);
    showDocument(std::move(document));
}

bool RichTextBox::readDocument(const QByteArray &rtf,
                               std::unique_ptr<QTextDocument> &document) const
{
    document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    document->setDefaultFont(defaultFont());
    QTextCursor cursor(document.get());
    cursor.beginEditBlock();
    rtf::DocumentSink sink(cursor, defaultFont());
    rtf::read(std::string_view(rtf.constData(), static_cast<size_t>(rtf.size())), sink);
    cursor.endEditBlock();
    document->setUndoRedoEnabled(true);
    return !sink.truncated();
}

void RichTextBox::showDocument(std::unique_ptr<QTextDocument> document)
{
    // Qt lays out a word that is wider than the box in time that grows with the square of
    // its length: a file holding one word of a million letters would freeze the window.
    // Such text has no words to keep whole, so it may break anywhere.
    // The box applies its wrap mode to every document it is given, so the mode is set
    // first, on the outgoing document emptied so that nothing is laid out for nothing.
    const QTextOption::WrapMode wrap = hasUnbreakableRun(*document)
                                           ? QTextOption::WrapAnywhere
                                           : QTextOption::WrapAtWordBoundaryOrAnywhere;
    if (wordWrapMode() != wrap) {
        this->document()->clear();
        setWordWrapMode(wrap);
    }
    // Parented to the box, the old document goes when the new one takes its place.
    document->setParent(this);
    setDocument(document.release());
    resetDefaultFormat();
    moveCursor(QTextCursor::Start);
}
