#pragma once

#include <cmath>

#include "platform/IView.h"

// Form positions are kept in twips (1/1440 inch); the screen's logical dots per inch turn them
// into pixels, so the window keeps its proportions with the text at any scale.
inline constexpr double kTwipsPerInch = 1440.0;

inline int TwipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

// Each side is converted on its own, as the form designer's coordinates are.
inline PixelRect TwipsToPixels(TwipRect rect, double dotsPerInch) {
    return {TwipsToPixels(rect.left, dotsPerInch), TwipsToPixels(rect.top, dotsPerInch),
            TwipsToPixels(rect.width, dotsPerInch), TwipsToPixels(rect.height, dotsPerInch)};
}
