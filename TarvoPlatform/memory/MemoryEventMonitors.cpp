#include "MemoryEventMonitors.h"

namespace tarvo {

std::optional<EventMonitors::Token> MemoryEventMonitors::add(bool global, EventMask mask,
                                                             Handler handler) {
    if (m_refuse)
        return std::nullopt;
    return m_monitors.add(global, mask, std::move(handler));
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
    m_monitors.remove(token);
}

void MemoryEventMonitors::postGlobal(const MouseEvent& event) {
    m_monitors.dispatch(true, event);
}

void MemoryEventMonitors::postLocal(const MouseEvent& event) {
    m_monitors.dispatch(false, event);
}

std::size_t MemoryEventMonitors::globalCount() const {
    return m_monitors.count(true);
}

std::size_t MemoryEventMonitors::localCount() const {
    return m_monitors.count(false);
}

} // namespace tarvo
