#include "AnimationClock.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tarvo {

namespace {

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

FrameClock::FrameClock(double framesPerSecond)
    : m_interval(1.0 / (framesPerSecond > 0 ? framesPerSecond : 60)),
      m_timer(std::make_unique<QTimer>()) {
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] { fire(); });
}

FrameClock::~FrameClock() = default;

double FrameClock::now() const {
    return monotonicSeconds();
}

void FrameClock::start() {
    if (m_running)
        return;
    m_running = true;
    m_nextFrame = now() + m_interval;
    armNext();
}

void FrameClock::stop() {
    m_running = false;
    m_timer->stop();
}

void FrameClock::armNext() {
    const double wait = m_nextFrame - now();
    m_timer->start(std::max(0, static_cast<int>(std::lround(wait * 1000))));
}

void FrameClock::fire() {
    if (!m_running)
        return;
    const double time = now();
    // Frames whose moment has passed while the previous one was handled are
    // dropped: the next tick draws the present.
    if (time > m_nextFrame + m_interval) {
        const auto missed = static_cast<long long>(std::floor((time - m_nextFrame) / m_interval));
        m_dropped += missed;
        m_nextFrame += static_cast<double>(missed) * m_interval;
    }
    m_nextFrame += m_interval;
    ++m_ticked;
    if (m_handler)
        m_handler();
    if (m_running)
        armNext();
}

void SteppedAnimationClock::advance(double seconds) {
    m_now += seconds;
    if (m_running && m_handler)
        m_handler();
}

void SteppedAnimationClock::advance(double seconds, double step) {
    double left = seconds;
    while (left > 1e-12) {
        const double d = std::min(step, left);
        advance(d);
        left -= d;
    }
}

} // namespace tarvo
