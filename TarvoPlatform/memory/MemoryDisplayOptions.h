#pragma once

#include "TarvoPlatform/DisplayOptions.h"

namespace tarvo {

// Display settings a test sets by hand.
class MemoryDisplayOptions final : public DisplayOptions {
public:
    bool reduceMotion() const override { return m_reduceMotion; }
    bool reduceTransparency() const override { return m_reduceTransparency; }
    bool increaseContrast() const override { return m_increaseContrast; }

    void setReduceMotion(bool on) { m_reduceMotion = on; }
    void setReduceTransparency(bool on) { m_reduceTransparency = on; }
    void setIncreaseContrast(bool on) { m_increaseContrast = on; }

private:
    bool m_reduceMotion = false;
    bool m_reduceTransparency = false;
    bool m_increaseContrast = false;
};

} // namespace tarvo
