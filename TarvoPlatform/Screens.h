#pragma once

#include "Rect.h"
#include "TarvoCore/ScreenMetrics.h"

#include <QRect>

#include <optional>
#include <vector>

namespace tarvo {

// The screens as the shelf counts them: global points, y upwards from the
// bottom left of the main screen. Main thread only.
class Screens {
public:
    virtual ~Screens() = default;
    // The screen under the pointer, else the main screen; none without screens.
    virtual std::optional<ScreenMetrics> forPointer() = 0;
    // Every screen's frame, the main screen first.
    virtual std::vector<Rect> frames() = 0;
    // A frame in the toolkit's global space (y downwards from the top left of
    // the main screen), for handing to a window.
    virtual QRect toWindowGeometry(const Rect& frame) = 0;
};

} // namespace tarvo
