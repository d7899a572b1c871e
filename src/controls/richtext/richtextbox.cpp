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

// Counts what a document would hold, without building it: reading alone is many times
// faster than filling a document, so the box can refuse or prepare before it starts.
class MeasureSink final : public rtf::Sink {
public:
    void begin(const rtf::Tables &) override {}
    void text(QStringView text, const rtf::CharFormat &) override
    {
        measure.characters += text.size();
        for (const QChar ch : text) {
            m_run = ch.isSpace() ? 0 : m_run + 1;
            measure.unbreakable = measure.unbreakable || m_run > kLongestWord;
        }
    }
    void lineBreak(const rtf::CharFormat &) override { breakRun(); }
    void paragraphEnd(const rtf::ParaFormat &) override
    {
        ++measure.paragraphs;
        breakRun();
    }
    void end(const rtf::ParaFormat &) override {}

    RichTextBox::Measure measure;

private:
    void breakRun()
    {
        ++measure.characters;
        m_run = 0;
    }

    qsizetype m_run = 0;
};

} // namespace

bool RichTextBox::Measure::tooLarge() const
{
    return characters > rtf::DocumentSink::kMaxCharacters ||
           paragraphs > rtf::DocumentSink::kMaxParagraphs;
}

RichTextBox::Measure RichTextBox::measureDocument(const QByteArray &rtf)
{
    MeasureSink sink;
    rtf::read(std::string_view(rtf.constData(), static_cast<size_t>(rtf.size())), sink);
    return sink.measure;
}

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
    const Measure measure = measureDocument(contents);
    // A cut-short document must never reach a box whose text may be saved back.
    if (measure.tooLarge())
        return Status::failure(readFailure(
            path, QStringLiteral("it holds more than %1 characters or %2 paragraphs, more "
                                 "than Sitebook can show")
                      .arg(rtf::DocumentSink::kMaxCharacters)
                      .arg(rtf::DocumentSink::kMaxParagraphs)));
    showDocument(contents, measure);
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
    showDocument(rtf, measureDocument(rtf));
}

void RichTextBox::showDocument(const QByteArray &rtf, const Measure &measure)
{
    // Qt lays out a word that is wider than the box in time that grows with the square of
    // its length: a file holding one word of a million letters would freeze the window.
    // Such text has no words to keep whole, so it may break anywhere. The mode is set
    // while the box is empty, where it costs no layout.
    const QTextOption::WrapMode wrap =
        measure.unbreakable ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere;
    QTextDocument *current = document();
    // A shown box would lay the text out bit by bit as it is inserted; a document of its
    // own, handed over whole, is laid out in one pass. A hidden box lays nothing out and
    // simply takes the text.
    const bool replace = isVisible();
    if (!replace || wordWrapMode() != wrap) {
        current->setUndoRedoEnabled(false);
        current->clear();
    }
    if (wordWrapMode() != wrap)
        setWordWrapMode(wrap);

    QTextDocument *target = current;
    if (replace) {
        // Parented to the box, it replaces the old one, which goes with it.
        target = new QTextDocument(this);
        target->setUndoRedoEnabled(false);
        // Qt's layout skips a document without a page size; the box gives it one, the
        // width of its view, and only then is the document laid out, once.
        target->setPageSize(QSizeF(0, 0));
    }
    target->setDefaultFont(defaultFont());
    QTextCursor cursor(target);
    cursor.beginEditBlock();
    rtf::DocumentSink sink(cursor, defaultFont());
    rtf::read(std::string_view(rtf.constData(), static_cast<size_t>(rtf.size())), sink);
    cursor.endEditBlock();
    if (target != current)
        setDocument(target);
    target->setUndoRedoEnabled(true);
    setCurrentCharFormat(QTextCharFormat());
    moveCursor(QTextCursor::Start);
}
