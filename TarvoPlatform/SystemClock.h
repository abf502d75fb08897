#pragma once

#include "Clock.h"

namespace tarvo {

// The real clock. Delayed work runs on the Qt event loop of the thread that
// schedules it, which is the main thread.
class SystemClock final : public Clock {
public:
    Date now() const override;
    qint64 monotonicNanoseconds() const override;
    std::unique_ptr<ScheduledWork> schedule(double seconds, std::function<void()> work) override;
};

} // namespace tarvo
