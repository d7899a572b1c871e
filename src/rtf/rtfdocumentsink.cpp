#include "rtf/rtfdocumentsink.h"

#include "rtf/rtfdefaults.h"
#include "rtf/rtfmeasure.h"

#include <QBrush>

namespace rtf {

namespace {
constexpr size_t kFormatCacheSize = 64;
} // namespace

DocumentSink::DocumentSink(QTextCursor cursor)
    : m_cursor(std::move(cursor)), m_defaultFamily(entryFont().family())
{
}

void DocumentSink::begin(const Tables &tables)
{
    m_tables = &tables;
}

QTextBlockFormat DocumentSink::blockFormat(const ParaFormat &format)
{
    QTextBlockFormat block;
    switch (format.alignment) {
    case Alignment::Left:
        break;
    case Alignment::Center:
        block.setAlignment(Qt::AlignHCenter);
        break;
    case Alignment::Right:
        block.setAlignment(Qt::AlignRight);
        break;
    case Alignment::Justify:
        block.setAlignment(Qt::AlignJustify);
        break;
    }
    if (format.leftTwips != 0)
        block.setLeftMargin(format.leftTwips / double(kTwipsPerPixel));
    if (format.rightTwips != 0)
        block.setRightMargin(format.rightTwips / double(kTwipsPerPixel));
    if (format.firstTwips != 0)
        block.setTextIndent(format.firstTwips / double(kTwipsPerPixel));
    return block;
}

const QTextCharFormat &DocumentSink::charFormat(const CharFormat &format)
{
    for (const auto &entry : m_formatCache)
        if (entry.first == format)
            return entry.second;
    if (m_formatCache.size() >= kFormatCacheSize)
        m_formatCache.clear();

    QTextCharFormat f;
    const Tables &tables = *m_tables;
    const int fontIndex = format.font == -1 ? tables.defaultFont : format.font;
    if (fontIndex >= 0 && fontIndex < static_cast<int>(tables.fonts.size())) {
        const QString family = tables.fonts[static_cast<size_t>(fontIndex)].family();
        if (!family.isEmpty() && family.compare(m_defaultFamily, Qt::CaseInsensitive) != 0)
            f.setFontFamilies({family});
    }
    if (format.halfPoints != kDefaultHalfPoints)
        f.setFontPointSize(format.halfPoints / 2.0);
    if (format.bold)
        f.setFontWeight(QFont::Bold);
    if (format.italic)
        f.setFontItalic(true);
    if (format.underline)
        f.setFontUnderline(true);
    if (format.strike)
        f.setFontStrikeOut(true);
    const auto color = [&tables](int index) {
        return index > 0 && index < static_cast<int>(tables.colors.size())
                   ? tables.colors[static_cast<size_t>(index)]
                   : QColor();
    };
    if (const QColor fg = color(format.foreground); fg.isValid())
        f.setForeground(fg);
    if (const QColor bg = color(format.background); bg.isValid())
        f.setBackground(bg);
    if (format.vertical == VerticalAlign::Super)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (format.vertical == VerticalAlign::Sub)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (format.link >= 0 && format.link < static_cast<int>(tables.links.size())) {
        f.setAnchor(true);
        f.setAnchorHref(tables.links[static_cast<size_t>(format.link)]);
    }
    m_formatCache.emplace_back(format, f);
    return m_formatCache.back().second;
}

void DocumentSink::startPendingBlock()
{
    if (!m_blockPending)
        return;
    m_blockPending = false;
    m_cursor.insertBlock(m_pendingBlockFormat, QTextCharFormat());
}

void DocumentSink::text(QStringView text, const CharFormat &format)
{
    startPendingBlock();
    m_cursor.insertText(text.toString(), charFormat(format));
}

void DocumentSink::lineBreak(const CharFormat &format)
{
    startPendingBlock();
    m_cursor.insertText(QString(QChar::LineSeparator), charFormat(format));
}

void DocumentSink::paragraphEnd(const ParaFormat &format)
{
    // The break is made only when something follows: the \par that ends the last
    // paragraph does not open an empty one.
    startPendingBlock();
    m_cursor.setBlockFormat(blockFormat(format));
    m_blockPending = true;
    m_pendingBlockFormat = blockFormat(format);
}

void DocumentSink::end(const ParaFormat &format)
{
    if (!m_blockPending)
        m_cursor.setBlockFormat(blockFormat(format));
    m_blockPending = false;
}

Measure readInto(std::string_view data, QTextDocument &document)
{
    const QFont font = entryFont();
    document.clear();
    document.setDefaultFont(font);
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    DocumentSink sink(cursor);
    const Measure measured = measure(data, &sink);
    cursor.endEditBlock();
    return measured;
}

} // namespace rtf
