#include "ScheduledFrameClock.h"

#include "TarvoPlatform/Clock.h"

namespace tarvo {

ScheduledFrameClock::ScheduledFrameClock(Clock& clock, double framesPerSecond)
    : m_clock(clock), m_interval(1.0 / (framesPerSecond > 0 ? framesPerSecond : 60)) {}

ScheduledFrameClock::~ScheduledFrameClock() = default;

double ScheduledFrameClock::now() const {
    // The time of day, which a fake clock sets to each piece of work's due
    // time as it runs it; far from 0.
    return m_clock.now().secondsSince1970();
}

void ScheduledFrameClock::start() {
    if (m_running)
        return;
    m_running = true;
    armNext();
}

void ScheduledFrameClock::stop() {
    m_running = false;
    m_next.reset();
}

void ScheduledFrameClock::armNext() {
    m_next = m_clock.schedule(m_interval, [this] {
        if (!m_running)
            return;
        if (m_handler)
            m_handler();
        if (m_running)
            armNext();
    });
}

} // namespace tarvo
