#pragma once

#include <QPixmap>
#include <QPushButton>

// A command button in the graphical style: its picture centred above its caption,
// the caption wrapped onto more lines when it is wider than the button, never cut.
class PictureButton : public QPushButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PictureButton)

public:
    explicit PictureButton(const QString &caption, QWidget *parent = nullptr);

    void setPicture(const QPixmap &picture);
    QPixmap picture() const { return m_picture; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect captionRect(const QRect &contents, int pictureHeight) const;
    // In logical pixels: a picture for a dense screen has more pixels, not more room.
    QSizeF pictureSize() const { return m_picture.deviceIndependentSize(); }

    QPixmap m_picture;
};
