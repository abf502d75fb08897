#pragma once

#include "TarvoPlatform/Clock.h"

#include <cstdint>
#include <map>
#include <memory>

namespace tarvo {

// A clock that moves only when the test advances it; delayed work runs inside
// `advance`, in the order it falls due.
class FakeClock final : public Clock {
public:
    explicit FakeClock(Date start = Date::fromSecondsSince1970(1700000000.0));
    ~FakeClock() override;

    Date now() const override { return m_now; }
    qint64 monotonicNanoseconds() const override {
        const qint64 reading = m_monotonic;
        m_monotonic += m_step;
        return reading;
    }
    std::unique_ptr<ScheduledWork> schedule(double seconds, std::function<void()> work) override;

    void advance(double seconds);
    // Delayed work that has neither run nor been cancelled.
    std::size_t pendingCount() const;
    // Each read of the monotonic clock moves it on by this much (0 by default).
    void setMonotonicStep(qint64 nanoseconds) { m_step = nanoseconds; }

private:
    struct Entry;
    class Handle;

    Date m_now;
    mutable qint64 m_monotonic = 1000000000;
    qint64 m_step = 0;
    std::uint64_t m_sequence = 0;
    std::multimap<std::pair<double, std::uint64_t>, std::shared_ptr<Entry>> m_pending;
};

} // namespace tarvo
