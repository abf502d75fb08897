#include "MemoryEventMonitors.h"

#include <algorithm>
#include <vector>

namespace tarvo {

std::optional<EventMonitors::Token> MemoryEventMonitors::add(bool global, EventMask mask,
                                                             Handler handler) {
    if (m_refuse)
        return std::nullopt;
    const Token token = m_next++;
    m_monitors.emplace(token, Monitor{global, mask, std::move(handler)});
    return token;
}

std::optional<EventMonitors::Token> MemoryEventMonitors::addGlobalMonitor(EventMask mask,
                                                                          Handler handler) {
    return add(true, mask, std::move(handler));
}

std::optional<EventMonitors::Token> MemoryEventMonitors::addLocalMonitor(EventMask mask,
                                                                         Handler handler) {
    return add(false, mask, std::move(handler));
}

void MemoryEventMonitors::removeMonitor(Token token) {
    m_monitors.erase(token);
}

void MemoryEventMonitors::post(bool global, const MouseEvent& event) {
    // A handler may remove monitors: dispatch over a snapshot of the tokens.
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

void MemoryEventMonitors::postGlobal(const MouseEvent& event) {
    post(true, event);
}

void MemoryEventMonitors::postLocal(const MouseEvent& event) {
    post(false, event);
}

std::size_t MemoryEventMonitors::globalCount() const {
    return static_cast<std::size_t>(std::count_if(m_monitors.begin(), m_monitors.end(),
                                                  [](const auto& m) { return m.second.global; }));
}

std::size_t MemoryEventMonitors::localCount() const {
    return m_monitors.size() - globalCount();
}

} // namespace tarvo
