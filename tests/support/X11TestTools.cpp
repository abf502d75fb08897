#include "support/X11TestTools.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>

namespace tarvo::test {

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void pump(int ms) {
    waitFor([] { return false; }, ms);
}

XTestHand::XTestHand() : XTestHand(Pace{}) {}

XTestHand::XTestHand(Pace pace) : m_display(XOpenDisplay(nullptr)), m_pace(pace) {}

XTestHand::~XTestHand() {
    if (!m_display)
        return;
    XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
    for (KeySym held : m_held)
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, held), False, CurrentTime);
    XCloseDisplay(m_display);
}

void XTestHand::moveTo(QPoint p) {
    XTestFakeMotionEvent(m_display, -1, p.x(), p.y(), CurrentTime);
    XFlush(m_display);
    m_at = p;
}

void XTestHand::deviceButton(unsigned number, bool down) {
    XTestFakeButtonEvent(m_display, number, down ? True : False, CurrentTime);
    XFlush(m_display);
}

void XTestHand::button(bool down) {
    XTestFakeButtonEvent(m_display, 1, down ? True : False, CurrentTime);
    XFlush(m_display);
}

void XTestHand::key(unsigned long keysym, bool down) {
    const KeySym key = keysym;
    XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, key), down ? True : False,
                      CurrentTime);
    XFlush(m_display);
    m_held.erase(std::remove(m_held.begin(), m_held.end(), key), m_held.end());
    if (down)
        m_held.push_back(key);
}

void XTestHand::glideTo(QPoint to) {
    glideTo(to, m_pace.steps);
}

void XTestHand::glideTo(QPoint to, int steps) {
    const QPoint from = m_at;
    for (int i = 1; i <= steps; ++i) {
        moveTo(from + (to - from) * i / steps);
        pump(m_pace.stepMs);
    }
    if (m_pace.settleMs > 0)
        pump(m_pace.settleMs);
}

void dragUpIntoShelf(XTestHand& hand, QPoint from) {
    hand.moveTo(from);
    pump(200);
    hand.press();
    hand.glideTo(from + QPoint(0, -30));
    hand.glideTo(QPoint(640, 150));
    pump(400);
    hand.glideTo(QPoint(640, 50), 12);
    pump(400);
    hand.glideTo(QPoint(644, 46), 4);
    pump(300);
    hand.release();
}

} // namespace tarvo::test
