#pragma once

#include "TarvoPlatform/EventMonitors.h"

#include <algorithm>
#include <map>
#include <vector>

namespace tarvo {

// The installed monitors of an EventMonitors backend, with their tokens.
class MonitorTable final {
public:
    using Token = EventMonitors::Token;
    using Handler = EventMonitors::Handler;

    Token add(bool global, EventMask mask, Handler handler) {
        const Token token = m_next++;
        m_monitors.emplace(token, Monitor{global, mask, std::move(handler)});
        return token;
    }

    void remove(Token token) { m_monitors.erase(token); }

    // Runs the handlers of the global (or local) monitors whose mask takes the
    // event. A handler may remove monitors, so this walks a snapshot of tokens.
    void dispatch(bool global, const MouseEvent& event) const {
        std::vector<Token> tokens;
        for (const auto& [token, monitor] : m_monitors) {
            if (monitor.global == global && (monitor.mask & eventMask(event.type)) != 0)
                tokens.push_back(token);
        }
        for (Token token : tokens) {
            const auto it = m_monitors.find(token);
            if (it == m_monitors.end())
                continue;
            const Handler handler = it->second.handler;
            handler(event);
        }
    }

    std::size_t count(bool global) const {
        return static_cast<std::size_t>(
            std::count_if(m_monitors.begin(), m_monitors.end(),
                          [global](const auto& m) { return m.second.global == global; }));
    }

private:
    struct Monitor {
        bool global;
        EventMask mask;
        Handler handler;
    };
    std::map<Token, Monitor> m_monitors;
    Token m_next = 1;
};

} // namespace tarvo
