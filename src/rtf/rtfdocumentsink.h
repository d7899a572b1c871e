#pragma once

#include "rtf/rtfmeasure.h"
#include "rtf/rtfreader.h"

#include <QTextDocument>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

#include <vector>

namespace rtf {

// Builds the read document into a QTextDocument through a cursor, one insertText
// per run of equally formatted text. Formats that equal the entry font (its family,
// and the 20 half-points of its 9.75 pt) are left unset, so that such text follows
// the document's default font as typed text does.
class DocumentSink final : public Sink {
    Q_DISABLE_COPY_MOVE(DocumentSink)

public:
    explicit DocumentSink(QTextCursor cursor);

    void begin(const Tables &tables) override;
    void text(QStringView text, const CharFormat &format) override;
    void lineBreak(const CharFormat &format) override;
    void paragraphEnd(const ParaFormat &format) override;
    void end(const ParaFormat &format) override;

    // The block and character format the reader's values stand for.
    static QTextBlockFormat blockFormat(const ParaFormat &format);

private:
    const QTextCharFormat &charFormat(const CharFormat &format);
    void startPendingBlock();

    QTextCursor m_cursor;
    QString m_defaultFamily;
    const Tables *m_tables = nullptr;
    bool m_blockPending = false;
    QTextBlockFormat m_pendingBlockFormat;
    // Documents use few distinct formats; a short list beats hashing.
    std::vector<std::pair<CharFormat, QTextCharFormat>> m_formatCache;
};

// Replaces the document's content by the one read from RTF, in one edit block, in the
// entry files' default font, and returns the document's measure, found in the same pass.
// Past the measure's limits what follows is left out: a document whose measure is too
// large is cut short, and its caller must neither show it nor let it be saved.
Measure readInto(std::string_view data, QTextDocument &document);

} // namespace rtf
