#include "Form1/picturebutton.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

constexpr int margin = 3;
constexpr int gap = 2;
constexpr int captionFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;

} // namespace

PictureButton::PictureButton(const QString &caption, QWidget *parent) : QPushButton(caption, parent)
{
}

void PictureButton::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

QSize PictureButton::sizeHint() const
{
    const QRect text =
        fontMetrics().boundingRect(QRect(0, 0, 100, 1000), captionFlags, this->text());
    return QSize(105, int(pictureSize().height()) + gap + text.height() + 4 * margin);
}

QRect PictureButton::captionRect(const QRect &contents, int pictureHeight) const
{
    const QRect text = fontMetrics().boundingRect(contents, captionFlags, this->text());
    // The picture and the caption together are centred in the button, as one block.
    const int blockHeight = pictureHeight + gap + text.height();
    const int top = contents.top() + qMax(0, (contents.height() - blockHeight) / 2);
    return QRect(contents.left(), top + pictureHeight + gap, contents.width(), text.height());
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const QRect contents = rect().adjusted(margin, margin, -margin, -margin);
    const QSize picture = pictureSize().toSize();
    const int pictureHeight = picture.height();
    const QRect caption = captionRect(contents, pictureHeight);
    const int shift = isDown() ? 1 : 0;

    if (!m_picture.isNull()) {
        QPixmap shown = m_picture;
        if (!isEnabled())
            shown = style()->generatedIconPixmap(QIcon::Disabled, m_picture, &option);
        const QPoint at(contents.left() + (contents.width() - picture.width()) / 2,
                        caption.top() - gap - pictureHeight);
        painter.drawPixmap(at + QPoint(shift, shift), shown);
    }
    painter.drawItemText(caption.translated(shift, shift), captionFlags, palette(), isEnabled(),
                         text(), QPalette::ButtonText);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = caption.adjusted(-1, 0, 1, 0).intersected(contents);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
