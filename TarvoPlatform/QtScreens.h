#pragma once

#include "Screens.h"

class QScreen;

namespace tarvo {

// The screens Qt knows, with the pointer where Qt last saw it.
class QtScreens final : public Screens {
public:
    std::optional<ScreenMetrics> forPointer() override;
    std::vector<Rect> frames() override;
    QRect toWindowGeometry(const Rect& frame) override;

    // One screen's metrics, given the main screen's geometry. There is no
    // notch; the top panel is what the desktop keeps free at the screen's top.
    static ScreenMetrics metrics(const QRect& geometry, const QRect& available,
                                 const QRect& mainGeometry);
    // A frame in y-up points as a rectangle in Qt's global space.
    static QRect toWindowGeometry(const Rect& frame, const QRect& mainGeometry);
};

} // namespace tarvo
