#pragma once

#include <QPoint>

#include <functional>
#include <vector>

// Xlib itself stays out of this header: its macros clash with GoogleTest's.
struct _XDisplay;

namespace tarvo::test {

// Lets this process and the others on the display run until `done` holds or
// `ms` pass; false when time ran out.
bool waitFor(const std::function<bool()>& done, int ms = 20000);

// Runs the event loop for `ms`.
void pump(int ms);

// The pointer and keys, driven through XTest so the server treats them as
// real input and makes raw events for them.
class XTestHand final {
public:
    // How a glide moves: `steps` moves with `stepMs` of events after each,
    // then `settleMs` more once there.
    struct Pace {
        int steps = 24;
        int stepMs = 25;
        int settleMs = 0;
    };

    XTestHand();
    explicit XTestHand(Pace pace);
    // Lets go of the button and of every key still held, so a failed test
    // leaves nothing pressed for the next.
    ~XTestHand();
    XTestHand(const XTestHand&) = delete;
    XTestHand& operator=(const XTestHand&) = delete;

    bool ok() const { return m_display != nullptr; }
    void moveTo(QPoint p);
    void button(bool down);
    // A device button by its own number, before the server's mapping.
    void deviceButton(unsigned number, bool down);
    void press() { button(true); }
    void release() { button(false); }
    // `keysym` is an X KeySym.
    void key(unsigned long keysym, bool down);
    // Small steps with the event loops running in between, as a hand moves.
    void glideTo(QPoint to);
    void glideTo(QPoint to, int steps);

private:
    _XDisplay* m_display;
    Pace m_pace;
    QPoint m_at;
    std::vector<unsigned long> m_held;
};

// From `from` up towards the top of the screen, where the shelf unfolds, and
// into it; lets go there.
void dragUpIntoShelf(XTestHand& hand, QPoint from);

} // namespace tarvo::test
