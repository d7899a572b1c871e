#include "controls/richtext/richtextbox.h"

#include "entryfile/entryfile.h"
#include "rtf/rtfdefaults.h"
#include "rtf/rtfdocumentsink.h"
#include "rtf/rtfmeasure.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"

#include <QLoggingCategory>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

// Quiet unless asked for: the caller decides whether a failure is shown.
Q_LOGGING_CATEGORY(lcRichText, "sitebook.richtext", QtInfoMsg)

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(true);
    setFont(rtf::entryFont());
    resetDefaultFormat();
}

void RichTextBox::resetDefaultFormat()
{
    document()->setDefaultFont(rtf::entryFont());
    setCurrentCharFormat(QTextCharFormat());
}

Status RichTextBox::loadFile(const QString &path)
{
    QByteArray contents;
    entryfile::Stamp stamp;
    if (Status status = entryfile::read(path, contents, &stamp); !status) {
        qCDebug(lcRichText) << status.message();
        return status;
    }
    const rtf::Measure measure =
        rtf::measure(std::string_view(contents.constData(), size_t(contents.size())));
    // A cut-short document must never reach a box whose text may be saved back.
    if (measure.tooLarge())
        return Status::failure(
            QStringLiteral("Cannot read the entry \"%1\": %2").arg(path, rtf::Measure::refusal()));
    showDocument(contents, measure);
    // Freshly read, the text holds nothing unsaved (a shown box has a new document by now).
    document()->setModified(false);
    m_fileName = path;
    m_knownPath = path;
    m_knownStamp = stamp;
    return Status::success();
}

Status RichTextBox::saveFile(const QString &path, SaveMode mode)
{
    const QByteArray bytes = textRTF();
    // What could not be shown again must not be saved: the entry would be lost to the
    // program that wrote it.
    if (rtf::measure(std::string_view(bytes.constData(), size_t(bytes.size()))).tooLarge())
        return Status::failure(
            QStringLiteral("Cannot write the entry \"%1\": %2").arg(path, rtf::Measure::refusal()));
    const bool known = mode == CheckFile && !m_knownPath.isEmpty() && path == m_knownPath;
    entryfile::Stamp written;
    Status saved = entryfile::replace(path, bytes, known ? &m_knownStamp : nullptr, &written);
    if (saved) {
        m_knownPath = path;
        m_knownStamp = written;
        document()->setModified(false);
    }
    return saved;
}

Status RichTextBox::createFile(const QString &path)
{
    entryfile::Stamp written;
    Status created = entryfile::create(path, textRTF(), &written);
    if (created) {
        m_knownPath = path;
        m_knownStamp = written;
        document()->setModified(false);
    }
    return created;
}

void RichTextBox::adoptFile(const RichTextBox &other)
{
    m_knownPath = other.m_knownPath;
    m_knownStamp = other.m_knownStamp;
}

bool RichTextBox::holdsCurrent(const QString &path) const
{
    entryfile::Stamp now;
    return path == m_knownPath && entryfile::currentStamp(path, now) && now == m_knownStamp;
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
    return rtf::write(*document());
}

void RichTextBox::setTextRTF(const QByteArray &rtf)
{
    showDocument(rtf, rtf::measure(std::string_view(rtf.constData(), size_t(rtf.size()))));
}

void RichTextBox::showDocument(const QByteArray &rtf, const rtf::Measure &measure)
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
        target = new QTextDocument(this);
        target->setUndoRedoEnabled(false);
        // Qt's layout skips a document without a page size; the box gives it one, the
        // width of its view, and only then is the document laid out, once.
        target->setPageSize(QSizeF(0, 0));
    }
    rtf::readInto(std::string_view(rtf.constData(), static_cast<size_t>(rtf.size())), *target);
    if (target != current) {
        // QTextEdit frees a replaced document only when it made it itself; one made here
        // is the box's own, and is freed once the box no longer shows it, so that showing
        // entry after entry holds one document, not every one shown since the box was made.
        const bool own = current->parent() == this;
        setDocument(target);
        if (own)
            delete current;
    }
    target->setUndoRedoEnabled(true);
    setCurrentCharFormat(QTextCharFormat());
    moveCursor(QTextCursor::Start);
}
