#include "controls/richtext/richtextbox.h"

#include "entryfile/entryfile.h"
#include "rtf/rtfdefaults.h"
#include "rtf/rtfdocumentsink.h"
#include "rtf/rtfmeasure.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"

#include <QAbstractTextDocumentLayout>
#include <QBasicTimer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

// Quiet unless asked for: the caller decides whether a failure is shown.
Q_LOGGING_CATEGORY(lcRichText, "sitebook.richtext", QtInfoMsg)

namespace {

// Qt lays a document out from its start: its last block has lines once it is all laid out.
bool laidOut(const QTextBlock &block)
{
    const QTextLayout *layout = block.layout();
    return layout != nullptr && layout->lineCount() > 0;
}

// A copy made in one pass, block by block and run by run, with the same formats. The
// documents read from entry files hold nothing else (no tables, lists or images).
void copyInto(const QTextDocument &source, QTextDocument &copy)
{
    copy.setDefaultFont(source.defaultFont());
    copy.setDocumentMargin(source.documentMargin());
    QTextCursor cursor(&copy);
    cursor.beginEditBlock();
    for (QTextBlock block = source.begin(); block.isValid(); block = block.next()) {
        if (block == source.begin()) {
            cursor.setBlockFormat(block.blockFormat());
            cursor.setBlockCharFormat(block.charFormat());
        } else {
            cursor.insertBlock(block.blockFormat(), block.charFormat());
        }
        for (auto run = block.begin(); !run.atEnd(); ++run)
            cursor.insertText(run.fragment().text(), run.fragment().charFormat());
    }
    cursor.endEditBlock();
}

// The layout of a document in a hidden box: it lays nothing out.
class NoLayout final : public QAbstractTextDocumentLayout {
public:
    using QAbstractTextDocumentLayout::QAbstractTextDocumentLayout;
    void draw(QPainter *, const PaintContext &) override {}
    int hitTest(const QPointF &, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return {}; }
    QRectF frameBoundingRect(QTextFrame *) const override { return {}; }
    QRectF blockBoundingRect(const QTextBlock &) const override { return {}; }

protected:
    void documentChanged(int, int, int) override {}
};

} // namespace

// Qt lays out a shown document lazily: QTextDocumentLayout lays out the first screen at
// once and the rest from a 10 ms timer of its own, each step twice as long as the one
// before, up to 200,000 characters, so that late in a long entry a single step holds the
// window for a tenth of a second. The pacer takes that work over. While the document is
// not laid out to its end, it drops the layout's own timer events (that step timer, and
// the 0 ms timer by which the layout reports its size) and lays the document out in
// slices of a few milliseconds, asking the layout where a block further on stands
// (blockBoundingRect lays out everything up to that block), between which the window
// handles its events. After each slice it reports the size reached, from which the view
// sets its scroll bar. The first slice comes after the first paint: its event is posted at
// low priority, behind the view's update request.
//
// Should a later Qt lay nothing out for blockBoundingRect, the first slice that finds its
// block without lines hands the work back to the layout's own timer, which goes on
// firing while its events are dropped: the layout still completes, in Qt's steps.
class RichTextBox::LayoutPacer final : public QObject {
public:
    explicit LayoutPacer(RichTextBox *box) : QObject(box), m_box(box) {}

    void follow(QTextDocument *document)
    {
        if (m_layout)
            m_layout->removeEventFilter(this);
        m_timer.stop();
        m_document = document;
        m_layout = document->documentLayout();
        m_position = 0;
        m_handedBack = false;
        m_layout->installEventFilter(this);
        m_waiting = true;
        QCoreApplication::postEvent(this, new QEvent(QEvent::User), Qt::LowEventPriority);
    }

    // Lays the rest out at once and tells the view the whole size, so that a jump to the
    // end scrolls over the real height rather than an estimate.
    void finish()
    {
        if (!pending())
            return;
        m_timer.stop();
        emit m_layout->documentSizeChanged(m_layout->documentSize());
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        m_waiting = false;
        if (pending())
            m_timer.start(0, this);
        return true;
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_layout || event->type() != QEvent::Timer || m_handedBack || !pending())
            return false;
        // The layout begun again, after a change of width or wrap mode: taken over too.
        if (!m_waiting && !m_timer.isActive())
            m_timer.start(0, this);
        return true;
    }

    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() != m_timer.timerId())
            return QObject::timerEvent(event);
        if (!pending()) {
            m_timer.stop();
            return;
        }
        constexpr qint64 kSliceMs = 8;
        constexpr int kStep = 2000; // characters
        const int last = m_document->characterCount() - 1;
        // Laid out again from the start since the last slice.
        if (m_position > 0 && !laidOut(m_document->findBlock(m_position)))
            m_position = 0;
        QElapsedTimer clock;
        clock.start();
        QRectF reached;
        do {
            m_position = std::min(m_position + kStep, last);
            const QTextBlock block = m_document->findBlock(m_position);
            reached = m_layout->blockBoundingRect(block);
            if (!laidOut(block)) {
                m_handedBack = true;
                m_timer.stop();
                return;
            }
        } while (!laidOut(m_document->lastBlock()) && clock.elapsed() < kSliceMs);
        if (laidOut(m_document->lastBlock())) {
            // The layout reports its final size itself, its timer no longer dropped.
            m_timer.stop();
            return;
        }
        emit m_layout->documentSizeChanged(QSizeF(m_document->pageSize().width(),
                                                  reached.bottom() + m_document->documentMargin()));
    }

private:
    // Whether the box shows the document and Qt has yet to lay its end out.
    bool pending() const
    {
        return m_document && m_layout && m_box->document() == m_document &&
               !m_document->pageSize().isNull() && !laidOut(m_document->lastBlock());
    }

    RichTextBox *m_box;
    QPointer<QTextDocument> m_document;
    QPointer<QAbstractTextDocumentLayout> m_layout;
    QBasicTimer m_timer;
    int m_position = 0;
    bool m_waiting = false;
    bool m_handedBack = false;
};

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent), m_pacer(new LayoutPacer(this))
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
    // Built aside and measured as it is built: a document too large to show (cut short
    // by then) never replaces the box's, whose text may be saved back.
    QTextDocument *read = newDocument();
    const rtf::Measure measure =
        rtf::readInto(std::string_view(contents.constData(), size_t(contents.size())), *read);
    if (measure.tooLarge()) {
        delete read;
        return Status::failure(QStringLiteral("Cannot read the entry \"%1\": %2")
                                   .arg(path, rtf::Measure::refusal()));
    }
    setWrapAnywhere(measure.unbreakable);
    adopt(read);
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
    setWrapAnywhere(false);
    setPlainText(text);
    resetDefaultFormat();
}

QByteArray RichTextBox::textRTF() const
{
    return rtf::write(*document());
}

void RichTextBox::setTextRTF(const QByteArray &rtf)
{
    QTextDocument *read = newDocument();
    const rtf::Measure measure =
        rtf::readInto(std::string_view(rtf.constData(), size_t(rtf.size())), *read);
    setWrapAnywhere(measure.unbreakable);
    adopt(read);
}

void RichTextBox::setTextFrom(const RichTextBox &source,
                              const std::function<void(QTextDocument &)> &prepare)
{
    QTextDocument *copy = newDocument();
    copyInto(*source.document(), *copy);
    if (prepare)
        prepare(*copy);
    setWrapAnywhere(source.wordWrapMode() == QTextOption::WrapAnywhere);
    adopt(copy);
}

void RichTextBox::keyPressEvent(QKeyEvent *event)
{
    // Qt lays the document out up to the cursor to bring it into view, but reports the
    // new size only later, from a timer of its own: with the whole size given first, the
    // view scrolls over the real height rather than an estimate.
    if (event->matches(QKeySequence::MoveToEndOfDocument) ||
        event->matches(QKeySequence::SelectEndOfDocument))
        m_pacer->finish();
    QTextEdit::keyPressEvent(event);
}

void RichTextBox::setWrapAnywhere(bool anywhere)
{
    // Qt lays out a word that is wider than the box in time that grows with the square of
    // its length: a file holding one word of a million letters would freeze the window.
    // Such text has no words to keep whole, so it may break anywhere. A new mode lays the
    // whole document out again, so the box is emptied first: the old text is never laid
    // out in the new mode.
    const QTextOption::WrapMode wrap =
        anywhere ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere;
    if (wordWrapMode() == wrap)
        return;
    QTextDocument *current = document();
    const bool undo = current->isUndoRedoEnabled();
    current->setUndoRedoEnabled(false);
    current->clear();
    current->setUndoRedoEnabled(undo);
    setWordWrapMode(wrap);
}

QTextDocument *RichTextBox::newDocument()
{
    auto *document = new QTextDocument(this);
    document->setUndoRedoEnabled(false);
    if (isVisible()) {
        // Qt's layout skips a document without a page size; the box gives it one, the
        // width of its view, when it takes the document.
        document->setPageSize(QSizeF(0, 0));
    } else {
        // QTextEdit lays out a document it takes in the width of its view, hidden or not;
        // a hidden box's layout would be time lost on every load (and on a long first
        // paragraph in a narrow hidden box, seconds).
        document->setDocumentLayout(new NoLayout(document));
    }
    return document;
}

void RichTextBox::showEvent(QShowEvent *event)
{
    // A document taken while hidden is laid out by Qt's own layout from now on.
    if (dynamic_cast<NoLayout *>(document()->documentLayout()) != nullptr)
        document()->setDocumentLayout(nullptr);
    QTextEdit::showEvent(event);
}

void RichTextBox::adopt(QTextDocument *document)
{
    // QTextEdit frees a replaced document only when its text control made it, and does
    // that itself, inside setDocument; one made here is the box's own, and is freed once
    // the box no longer shows it, so that showing entry after entry holds one document,
    // not every one shown since the box was made. The pointer tells which case it was.
    const QPointer<QTextDocument> current = this->document();
    setDocument(document);
    if (current && current->parent() == this)
        delete current.data();
    document->setUndoRedoEnabled(true);
    // Freshly read or copied, the text holds nothing unsaved.
    document->setModified(false);
    setCurrentCharFormat(QTextCharFormat());
    moveCursor(QTextCursor::Start);
    if (isVisible())
        m_pacer->follow(document);
}
