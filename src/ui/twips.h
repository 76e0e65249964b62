// Window geometry is laid out in twips, 1/1440 inch; at 96 dots per inch 15 of them make one
// pixel. Qt's logical pixels already follow the screen's scaling, so a twip position converts
// to the same logical pixel at 100% and at 200%.
//
// A layout scale stretches a whole design evenly when the font in use is wider than the one the
// design was drawn for; at 1 a twip position is exactly twips / 15 pixels.
#pragma once

#include <QRect>

#include <cmath>

namespace varnook::ui {

inline constexpr int kTwipsPerPixel = 15;

inline int Px(int twips, double scale = 1.0)
{
    return static_cast<int>(std::nearbyint(twips * scale / kTwipsPerPixel));
}

inline QRect TwipRect(int left, int top, int width, int height, double scale = 1.0)
{
    return QRect(Px(left, scale), Px(top, scale), Px(width, scale), Px(height, scale));
}

}  // namespace varnook::ui
