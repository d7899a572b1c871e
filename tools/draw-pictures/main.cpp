// Draws the program's pictures: the list icon at the sizes a Linux desktop asks
// for, and the two 96 x 11 glossy bars the picture buttons show, each also at twice
// the size ("@2x") for screens with two pixels to each logical one.
//
// Usage: draw-pictures OUTPUT-FOLDER
//
// Everything is drawn from fixed numbers with QPainter, so running it again on
// the same Qt gives the same PNG files; the results are committed and bundled
// as Qt resources by src/CMakeLists.txt.

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

QImage blankImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // A fixed resolution keeps the pHYs chunk, and so the file, the same everywhere.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    return image;
}

QPainterPath roundedBar(const QRectF &rect)
{
    QPainterPath path;
    const qreal radius = rect.height() / 2.0;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// A glossy horizontal bar: a vertical gradient from a light top through the
// colour to a darker bottom, a soft white shine over the upper half and a thin
// outline in a darker shade.
void drawGlossyBar(QPainter &painter, const QRectF &rect, const QColor &top, const QColor &middle,
                   const QColor &bottom, const QColor &outline, qreal shine,
                   qreal outlineWidth = 1.0)
{
    const QPainterPath path = roundedBar(rect);
    // Too thin a bar has no room for a shine; its gradient alone reads as gloss.
    if (rect.height() < 3.0)
        shine = 0.0;

    QLinearGradient body(rect.topLeft(), rect.bottomLeft());
    body.setColorAt(0.0, top);
    body.setColorAt(0.45, middle);
    body.setColorAt(1.0, bottom);
    painter.fillPath(path, body);

    const qreal inset = std::max<qreal>(1.0, rect.height() * 0.12);
    const QRectF shineRect(rect.left() + inset * 1.5, rect.top() + inset * 0.6,
                           rect.width() - inset * 3.0, rect.height() * 0.45);
    QLinearGradient gloss(shineRect.topLeft(), shineRect.bottomLeft());
    gloss.setColorAt(0.0, QColor(255, 255, 255, static_cast<int>(255 * shine)));
    gloss.setColorAt(1.0, QColor(255, 255, 255, static_cast<int>(40 * shine)));
    painter.fillPath(roundedBar(shineRect), gloss);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(outline, outlineWidth));
    painter.drawPath(path);
}

QImage drawButtonBar(int scale, const QColor &top, const QColor &middle, const QColor &bottom,
                     const QColor &outline)
{
    QImage image = blankImage(96 * scale, 11 * scale);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // The same bar in the same units; only the pixels are finer.
    painter.scale(scale, scale);
    // Half-pixel edges put the one-pixel outline exactly on the pixel grid.
    drawGlossyBar(painter, QRectF(0.5, 0.5, 95.0, 10.0), top, middle, bottom, outline, 0.85);
    painter.end();
    return image;
}

// The program icon: a rounded square with a green rim and a red face, a white
// bar at the top of the face and three lime-green lines below it, the list.
QImage drawIcon(int size)
{
    QImage image = blankImage(size, size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal unit = size / 64.0;
    // Small icons keep at least one clear pixel of rim and whole-pixel bars, or
    // they blur into a brown square.
    auto px = [&](qreal units) { return std::round(units * unit); };

    const qreal margin = size >= 32 ? px(1.0) : 0.0;
    const QRectF outer(margin, margin, size - 2 * margin, size - 2 * margin);
    const qreal outerRadius = outer.width() * 0.2;
    QPainterPath outerPath;
    outerPath.addRoundedRect(outer, outerRadius, outerRadius);

    QLinearGradient rim(outer.topLeft(), outer.bottomRight());
    rim.setColorAt(0.0, QColor(120, 210, 90));
    rim.setColorAt(0.5, QColor(40, 150, 40));
    rim.setColorAt(1.0, QColor(15, 95, 25));
    painter.fillPath(outerPath, rim);

    const qreal rimWidth = size >= 32 ? std::max<qreal>(2.0, px(5.0)) : 1.0;
    const QRectF face = outer.adjusted(rimWidth, rimWidth, -rimWidth, -rimWidth);
    const qreal faceRadius = std::max<qreal>(0.0, outerRadius - rimWidth * 0.7);
    QPainterPath facePath;
    facePath.addRoundedRect(face, faceRadius, faceRadius);
    QLinearGradient red(face.topLeft(), face.bottomLeft());
    red.setColorAt(0.0, QColor(240, 70, 60));
    red.setColorAt(0.6, QColor(205, 30, 30));
    red.setColorAt(1.0, QColor(150, 15, 20));
    painter.fillPath(facePath, red);
    if (size >= 32) {
        painter.setPen(QPen(QColor(90, 10, 10, 150), std::max<qreal>(1.0, unit * 0.75)));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(facePath);
    }

    // Rows of the face: a top bar and three list lines, spread evenly with
    // whole-pixel heights so every size shows four distinct bars.
    const qreal sideGap = std::max<qreal>(1.0, px(5.0));
    const qreal left = face.left() + sideGap;
    const qreal width = face.width() - 2 * sideGap;
    const qreal barHeight = std::max<qreal>(2.0, px(7.0));
    const qreal headHeight = std::max<qreal>(3.0, px(9.0));
    const qreal used = headHeight + 3 * barHeight;
    const qreal gap = std::floor((face.height() - used) / 5.0);
    const qreal spare = face.height() - used - 5 * gap;
    qreal y = face.top() + gap + std::floor(spare / 2.0);

    const QColor whiteOutline(150, 150, 160);
    const qreal outlineWidth = std::max<qreal>(1.0, unit * 0.5);
    drawGlossyBar(painter, QRectF(left, y, width, headHeight), QColor(255, 255, 255),
                  QColor(240, 240, 244), QColor(190, 192, 200),
                  size >= 32 ? whiteOutline : QColor(0, 0, 0, 0), 1.0, outlineWidth);
    y += headHeight + gap;
    for (int line = 0; line < 3; ++line) {
        // The list lines are a little shorter than the top bar, as text lines are.
        const qreal inset = line == 2 ? px(8.0) : 0.0;
        drawGlossyBar(painter, QRectF(left, y, width - inset, barHeight), QColor(225, 255, 140),
                      QColor(150, 230, 30), QColor(80, 160, 10),
                      size >= 32 ? QColor(40, 100, 10) : QColor(0, 0, 0, 0), 0.9, outlineWidth);
        y += barHeight + gap;
    }

    // A soft shine across the upper part of the whole icon gives it its gloss.
    QPainterPath shine;
    const QRectF shineRect =
        outer.adjusted(rimWidth * 0.5, rimWidth * 0.4, -rimWidth * 0.5, -outer.height() * 0.55);
    shine.addRoundedRect(shineRect, faceRadius, faceRadius);
    QLinearGradient shineGradient(shineRect.topLeft(), shineRect.bottomLeft());
    shineGradient.setColorAt(0.0, QColor(255, 255, 255, 90));
    shineGradient.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillPath(shine, shineGradient);

    painter.end();
    return image;
}

bool save(const QImage &image, const QDir &folder, const QString &name)
{
    const QString path = folder.filePath(name);
    if (!image.save(path, "PNG")) {
        QTextStream(stderr) << "draw-pictures: cannot write " << path << '\n';
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        QTextStream(stderr) << "usage: draw-pictures OUTPUT-FOLDER\n";
        return 2;
    }
    const QDir folder(arguments.at(1));
    if (!folder.exists()) {
        QTextStream(stderr) << "draw-pictures: no folder " << folder.path() << '\n';
        return 1;
    }

    bool ok = true;
    for (const int size : {16, 32, 48, 64, 128, 256})
        ok = save(drawIcon(size), folder, QStringLiteral("icon-%1.png").arg(size)) && ok;
    for (const int scale : {1, 2}) {
        const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
        ok = save(drawButtonBar(scale, QColor(255, 255, 240), QColor(255, 246, 196),
                                QColor(236, 216, 140), QColor(112, 128, 160)),
                  folder, QStringLiteral("button-normal%1.png").arg(suffix)) &&
             ok;
        ok = save(drawButtonBar(scale, QColor(255, 200, 212), QColor(240, 80, 110),
                                QColor(185, 25, 60), QColor(140, 30, 60)),
                  folder, QStringLiteral("button-highlighted%1.png").arg(suffix)) &&
             ok;
    }
    return ok ? 0 : 1;
}
