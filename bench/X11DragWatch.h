#pragma once

#include <QPoint>

#include <xcb/xcb.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

struct _XDisplay;

namespace tarvo::test {
class XTestHand;
}

namespace tarvo::bench {

// The steady clock in nanoseconds, the time base of every figure below.
std::int64_t nowNanoseconds();

// Listens on a thread and a connection of its own for new owners of the drag
// selection and, given a window, for that window's maps and unmaps, taking
// the time of each as it arrives rather than when anyone gets to read it.
class X11DragWatch final {
public:
    explicit X11DragWatch(xcb_window_t window = XCB_NONE);
    ~X11DragWatch();
    X11DragWatch(const X11DragWatch&) = delete;
    X11DragWatch& operator=(const X11DragWatch&) = delete;

    void reset();
    // 0 until it happened since the last reset.
    std::int64_t ownerAt() const { return m_ownerAt; }
    std::int64_t mappedAt() const { return m_mappedAt; }
    std::int64_t unmappedAt() const { return m_unmappedAt; }

private:
    xcb_connection_t* m_connection;
    quint8 m_selectionEvent = 0;
    std::atomic<std::int64_t> m_ownerAt{0};
    std::atomic<std::int64_t> m_mappedAt{0};
    std::atomic<std::int64_t> m_unmappedAt{0};
    std::thread m_thread;
};

// Listens on a thread and a display connection of its own for the damage
// XDamage reports on one window: each time the program draws into it.
class X11FrameWatch final {
public:
    explicit X11FrameWatch(unsigned long window);
    ~X11FrameWatch();
    X11FrameWatch(const X11FrameWatch&) = delete;
    X11FrameWatch& operator=(const X11FrameWatch&) = delete;

    bool ok() const { return m_display != nullptr; }
    // The first damage after `time` (nanoseconds); 0 until there was one.
    std::int64_t firstDamageAfter(std::int64_t time) const;

private:
    ::_XDisplay* m_display = nullptr;
    int m_damageEvent = 0;
    unsigned long m_damage = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::int64_t> m_damagedAt; // in order
    std::thread m_thread;
};

// Presses at `at` and moves 15 pixels right, past every toolkit's drag
// threshold, where the pointer then rests.
void startDrag(test::XTestHand& hand, QPoint at);

} // namespace tarvo::bench
