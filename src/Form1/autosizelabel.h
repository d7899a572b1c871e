#pragma once

#include <QLabel>

// A label that sizes itself to its caption, so a count appended to it is never cut off.
class AutoSizeLabel : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AutoSizeLabel)

public:
    explicit AutoSizeLabel(const QString &caption, QWidget *parent = nullptr)
        : QLabel(caption, parent)
    {
    }

    void setText(const QString &caption)
    {
        QLabel::setText(caption);
        adjustSize();
    }
};
