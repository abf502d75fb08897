#pragma once

#include <functional>
#include <memory>

class QTimer;

namespace tarvo {

// The time every animation of a layer tree runs on, and the frames that move
// them. It ticks only between `start` and `stop`: nothing wakes the process
// while nothing moves.
class AnimationClock {
public:
    virtual ~AnimationClock() = default;
    // Media time in seconds; never goes backwards and is never 0.
    virtual double now() const = 0;
    // The handler is called once per frame while the clock runs.
    virtual void setTickHandler(std::function<void()> handler) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

// The real clock: the monotonic time, with frames from a precise timer at the
// display's rate. A frame that comes late is dropped rather than crowded in.
class FrameClock final : public AnimationClock {
public:
    explicit FrameClock(double framesPerSecond = 60);
    ~FrameClock() override;

    double now() const override;
    void setTickHandler(std::function<void()> handler) override { m_handler = std::move(handler); }
    void start() override;
    void stop() override;
    bool isRunning() const override { return m_running; }

    // Frames ticked and frames that came too late to be ticked, since creation.
    long long framesTicked() const { return m_ticked; }
    long long framesDropped() const { return m_dropped; }

private:
    void armNext();
    void fire();

    double m_interval;
    std::unique_ptr<QTimer> m_timer;
    std::function<void()> m_handler;
    bool m_running = false;
    double m_nextFrame = 0;
    long long m_ticked = 0;
    long long m_dropped = 0;
};

// A clock that moves only when told to, for tests: `advance` ticks once at
// the new time when the clock runs.
class SteppedAnimationClock final : public AnimationClock {
public:
    double now() const override { return m_now; }
    void setTickHandler(std::function<void()> handler) override { m_handler = std::move(handler); }
    void start() override { m_running = true; }
    void stop() override { m_running = false; }
    bool isRunning() const override { return m_running; }

    void advance(double seconds);
    // Advances in steps of `step` seconds, ticking after each.
    void advance(double seconds, double step);

private:
    double m_now = 1000;
    bool m_running = false;
    std::function<void()> m_handler;
};

} // namespace tarvo
