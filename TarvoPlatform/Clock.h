#pragma once

#include "TarvoCore/Date.h"

#include <QtGlobal>

#include <functional>
#include <memory>

namespace tarvo {

// Delayed work that has not run yet. Destroying the handle cancels it too.
class ScheduledWork {
public:
    virtual ~ScheduledWork() = default;
    virtual void cancel() = 0;
};

// Time, and delayed work on the main thread, so tests can run both by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;
    // Never goes backwards; unrelated to `now`.
    virtual qint64 monotonicNanoseconds() const = 0;
    // Runs `work` once on the main thread after `seconds`, unless cancelled.
    virtual std::unique_ptr<ScheduledWork> schedule(double seconds, std::function<void()> work) = 0;
};

} // namespace tarvo
