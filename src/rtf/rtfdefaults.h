#pragma once

#include <QFont>

// The entry files' defaults, which typed text, read text and the windows share.
namespace rtf {

// Arial at 9.75 points: the windows' font and the default character format of every
// rich-text box. RTF keeps sizes in half-points and rounds it to 20 (10 points).
inline QFont entryFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    return font;
}
constexpr int kDefaultHalfPoints = 20;

// Lengths in RTF and in the windows' design are twips (1/1440 inch); fifteen make one
// logical pixel.
constexpr int kTwipsPerPixel = 15;

} // namespace rtf
