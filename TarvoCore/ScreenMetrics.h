#pragma once

#include "Rect.h"

#include <algorithm>

namespace tarvo {

// What the shelf's geometry needs to know of one screen, in global screen
// coordinates (origin at the lower-left of the main screen, y upwards). A screen
// with a camera notch reports the areas left and right of it; the notch is what
// lies between them.
struct ScreenMetrics {
    Rect frame;
    double safeAreaTop = 0;   // height of the notch area, 0 without a notch
    double menuBarHeight = 0; // height of the top panel on that screen
    double auxLeftWidth = 0;  // top area left of the notch, 0 when none is reported
    double auxRightWidth = 0; // top area right of the notch, 0 when none is reported

    constexpr double notchWidth() const {
        return std::max(0.0, frame.width - auxLeftWidth - auxRightWidth);
    }
    // Every notch decision asks this one test.
    constexpr bool hasNotch() const {
        return safeAreaTop > 0 && auxLeftWidth > 0 && auxRightWidth > 0 && notchWidth() > 0;
    }

    bool operator==(const ScreenMetrics&) const = default;
};

} // namespace tarvo
