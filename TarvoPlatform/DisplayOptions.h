#pragma once

namespace tarvo {

// The desktop's accessibility display settings, read afresh at every call so
// that a change takes effect at the next use.
class DisplayOptions {
public:
    virtual ~DisplayOptions() = default;
    virtual bool reduceMotion() const = 0;
    virtual bool reduceTransparency() const = 0;
    virtual bool increaseContrast() const = 0;
};

} // namespace tarvo
