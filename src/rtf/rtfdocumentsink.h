#pragma once

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
    // Counts what is about to be inserted; false once the document is full.
    bool makeRoom(qsizetype characters);

    QTextCursor m_cursor;
    QString m_defaultFamily;
    const Tables *m_tables = nullptr;
    bool m_blockPending = false;
    bool m_truncated = false;
    qsizetype m_characters = 0;
    qsizetype m_paragraphs = 0;
    QTextBlockFormat m_pendingBlockFormat;
    // Documents use few distinct formats; a short list beats hashing.
    std::vector<std::pair<CharFormat, QTextCharFormat>> m_formatCache;
};

// Replaces the document's content by the one read from RTF, in one edit block, in the
// entry files' default font. Callers measure first and refuse what is too large; past
// the measure's limits the sink leaves out what follows, so no caller can build more.
void readInto(std::string_view data, QTextDocument &document);

} // namespace rtf
