#include "SystemClock.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <ctime>

namespace tarvo {

namespace {

class TimerWork final : public ScheduledWork {
public:
    TimerWork(double seconds, std::function<void()> work) : m_work(std::move(work)) {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto run = std::move(m_work);
            m_work = nullptr;
            if (run)
                run();
        });
        const double ms = std::ceil(std::max(0.0, seconds) * 1000.0);
        m_timer.start(static_cast<int>(std::min(ms, 2.0e9)));
    }
    ~TimerWork() override { cancel(); }

    void cancel() override {
        m_work = nullptr;
        m_timer.stop();
    }

private:
    std::function<void()> m_work;
    QTimer m_timer;
};

} // namespace

Date SystemClock::now() const {
    return Date::now();
}

qint64 SystemClock::monotonicNanoseconds() const {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::unique_ptr<ScheduledWork> SystemClock::schedule(double seconds, std::function<void()> work) {
    return std::make_unique<TimerWork>(seconds, std::move(work));
}

} // namespace tarvo
