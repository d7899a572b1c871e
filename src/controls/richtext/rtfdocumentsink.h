#pragma once

#include "controls/richtext/rtfreader.h"

#include <QFont>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

#include <vector>

namespace rtf {

// Builds the read document into a QTextDocument through a cursor, one insertText
// per run of equally formatted text. Formats that equal the control's defaults
// (its font family, and 20 half-points for its 9.75 pt) are left unset, so that
// such text follows the document's default font as typed text does.
class DocumentSink final : public Sink {
    Q_DISABLE_COPY_MOVE(DocumentSink)

public:
    DocumentSink(QTextCursor cursor, const QFont &defaultFont);

    void begin(const Tables &tables) override;
    void text(QStringView text, const CharFormat &format) override;
    void lineBreak(const CharFormat &format) override;
    void paragraphEnd(const ParaFormat &format) override;
    void end(const ParaFormat &format) override;

    // The block and character format the reader's values stand for.
    static QTextBlockFormat blockFormat(const ParaFormat &format);

    // Past these a document is not notes about a web site, and Qt would take many
    // seconds to lay it out. The box measures an entry first and refuses a larger one;
    // the sink still leaves out what follows, so no caller can build more.
    static constexpr qsizetype kMaxCharacters = 2'000'000;
    static constexpr qsizetype kMaxParagraphs = 200'000;

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

} // namespace rtf
