#pragma once

#include "AnimationClock.h"

#include <functional>
#include <memory>

namespace tarvo {

class Clock;
class ScheduledWork;

// Frames as delayed work on a `Clock`, at the given rate, timed by the
// clock's time of day: a test's fake clock then moves the shelf's animations
// together with its timers. The program draws on a `FrameClock`.
class ScheduledFrameClock final : public AnimationClock {
public:
    explicit ScheduledFrameClock(Clock& clock, double framesPerSecond = 60);
    ~ScheduledFrameClock() override;

    double now() const override;
    void setTickHandler(std::function<void()> handler) override { m_handler = std::move(handler); }
    void start() override;
    void stop() override;
    bool isRunning() const override { return m_running; }

private:
    void armNext();

    Clock& m_clock;
    double m_interval;
    std::function<void()> m_handler;
    std::unique_ptr<ScheduledWork> m_next;
    bool m_running = false;
};

} // namespace tarvo
