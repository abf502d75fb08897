#pragma once

#include "TarvoPlatform/WindowList.h"

namespace tarvo {

// The windows a test puts on screen, frontmost first; counts the listings.
class MemoryWindowList final : public WindowLister {
public:
    std::vector<WindowInfo> windowsOnScreen() override {
        ++m_listings;
        return m_windows;
    }

    void setWindows(std::vector<WindowInfo> windows) { m_windows = std::move(windows); }
    int listings() const { return m_listings; }

private:
    std::vector<WindowInfo> m_windows;
    int m_listings = 0;
};

} // namespace tarvo
