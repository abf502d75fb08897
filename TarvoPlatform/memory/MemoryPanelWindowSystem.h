#pragma once

#include "TarvoPlatform/PanelWindowSystem.h"

#include <QHash>

#include <vector>

namespace tarvo {

// Keeps what the panel asked for, for tests to read.
class MemoryPanelWindowSystem final : public PanelWindowSystem {
public:
    bool compositor = true;
    bool shapes = false;
    QHash<WindowID, int> panelStateCalls;
    QHash<WindowID, QRegion> inputRegions;
    // Absent key: never set; absent value: the whole window shows.
    QHash<WindowID, std::optional<QRegion>> boundingRegions;
    int boundingRegionCalls = 0;
    // The window with the keyboard; `activate` hands it over at once.
    WindowID active = 0;
    struct Activation {
        WindowID window;
        quint32 timestamp;
        WindowID previous;
        bool operator==(const Activation&) const = default;
    };
    std::vector<Activation> activations;

    bool hasCompositor() override { return compositor; }
    void setPanelStates(WindowID window) override { ++panelStateCalls[window]; }
    void setInputRegion(WindowID window, const QRegion& region) override {
        inputRegions.insert(window, region);
    }
    void setBoundingRegion(WindowID window, const std::optional<QRegion>& region) override {
        boundingRegions.insert(window, region);
        ++boundingRegionCalls;
    }
    bool hidesByShape() const override { return shapes; }
    WindowID activeWindow() override { return active; }
    void activate(WindowID window, quint32 timestamp, WindowID previous) override {
        activations.push_back({window, timestamp, previous});
        active = window;
    }
};

} // namespace tarvo
