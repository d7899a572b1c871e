#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's pictures, bundled as resources, at the pixel density of the screen
// that shows them.
namespace pictures {

// The program icon at the sizes a window shows; whoever shows it picks the sharpest.
QIcon programIcon();

// A resource picture at its own size in logical pixels, drawn from "NAME@2x.png"
// where the screen has more than one pixel to each logical one.
QPixmap picture(const QString &resource, qreal devicePixelRatio);

} // namespace pictures
