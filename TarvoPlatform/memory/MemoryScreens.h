#pragma once

#include "TarvoPlatform/QtScreens.h"
#include "TarvoPlatform/Screens.h"

namespace tarvo {

// Screens a test sets, the first being the main one, with the pointer on
// `pointerScreen`.
class MemoryScreens final : public Screens {
public:
    std::vector<ScreenMetrics> screens;
    std::size_t pointerScreen = 0;

    std::optional<ScreenMetrics> forPointer() override {
        if (screens.empty())
            return std::nullopt;
        return screens.at(pointerScreen < screens.size() ? pointerScreen : 0);
    }
    std::vector<Rect> frames() override {
        std::vector<Rect> frames;
        for (const ScreenMetrics& screen : screens)
            frames.push_back(screen.frame);
        return frames;
    }
    QRect toWindowGeometry(const Rect& frame) override {
        const Rect main = screens.empty() ? Rect{} : screens.front().frame;
        return QtScreens::toWindowGeometry(frame, QRect(0, 0, int(main.width), int(main.height)));
    }
};

} // namespace tarvo
