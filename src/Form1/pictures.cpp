#include "Form1/pictures.h"

#include <QImageReader>

namespace pictures {

QIcon programIcon()
{
    // The window icon is 64 pixels, and 128 on a screen with two pixels to each logical
    // one. The 256 is left to the desktop's icon theme: a window's icon is handed to
    // the window manager at every size it has.
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap picture(const QString &resource, qreal devicePixelRatio)
{
    // An icon made from a file takes in its "@2x" companion on a dense screen and
    // gives the pixmap at the ratio asked for, scaled smoothly between the two.
    return QIcon(resource).pixmap(QImageReader(resource).size(), devicePixelRatio);
}

} // namespace pictures
