#pragma once

#include "TarvoPlatform/EventMonitors.h"

#include <algorithm>
#include <deque>

namespace tarvo {

// The installed monitors of an EventMonitors backend, with their tokens.
// Every pointer move on the desktop may pass through here, so a dispatch
// copies neither the handlers nor the list.
class MonitorTable final {
public:
    using Token = EventMonitors::Token;
    using Handler = EventMonitors::Handler;

    Token add(bool global, EventMask mask, Handler handler) {
        const Token token = m_next++;
        m_monitors.push_back(Monitor{token, global, mask, std::move(handler)});
        return token;
    }

    void remove(Token token) {
        const auto it = std::find_if(m_monitors.begin(), m_monitors.end(),
                                     [token](const Monitor& m) { return m.token == token; });
        if (it == m_monitors.end())
            return;
        // The handler that is running may be the one removed: it stays in
        // place, marked, until the dispatch is over.
        if (m_dispatching > 0) {
            it->removed = true;
            m_sweep = true;
            return;
        }
        m_monitors.erase(it);
    }

    // Runs the handlers of the global (or local) monitors whose mask takes the
    // event, those there were when it came. A handler may add or remove
    // monitors: a deque keeps the others in place while it grows.
    void dispatch(bool global, const MouseEvent& event) {
        const EventMask bit = eventMask(event.type);
        ++m_dispatching;
        const std::size_t count = m_monitors.size();
        for (std::size_t i = 0; i < count; ++i) {
            const Monitor& monitor = m_monitors[i];
            if (!monitor.removed && monitor.global == global && (monitor.mask & bit) != 0)
                monitor.handler(event);
        }
        if (--m_dispatching == 0 && m_sweep) {
            m_sweep = false;
            std::erase_if(m_monitors, [](const Monitor& m) { return m.removed; });
        }
    }

    std::size_t count(bool global) const { return count(global, ~EventMask{0}); }

    // The monitors of that kind that take any event of `mask`.
    std::size_t count(bool global, EventMask mask) const {
        return static_cast<std::size_t>(
            std::count_if(m_monitors.begin(), m_monitors.end(), [global, mask](const Monitor& m) {
                return !m.removed && m.global == global && (m.mask & mask) != 0;
            }));
    }

private:
    struct Monitor {
        Token token;
        bool global;
        EventMask mask;
        Handler handler;
        bool removed = false;
    };
    std::deque<Monitor> m_monitors;
    int m_dispatching = 0;
    bool m_sweep = false;
    Token m_next = 1;
};

} // namespace tarvo
