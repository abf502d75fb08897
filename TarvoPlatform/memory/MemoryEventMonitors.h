#pragma once

#include "TarvoPlatform/EventMonitors.h"
#include "TarvoPlatform/MonitorTable.h"

namespace tarvo {

// Event monitors fed by the test: `postGlobal` reaches the global monitors
// whose mask takes the event, `postLocal` the local ones.
class MemoryEventMonitors final : public EventMonitors {
public:
    std::optional<Token> addGlobalMonitor(EventMask mask, Handler handler) override;
    std::optional<Token> addLocalMonitor(EventMask mask, Handler handler) override;
    void removeMonitor(Token token) override;

    void postGlobal(const MouseEvent& event);
    void postLocal(const MouseEvent& event);

    std::size_t globalCount() const;
    std::size_t localCount() const;
    // Further installs answer with no token.
    void refuseInstalls(bool refuse) { m_refuse = refuse; }

private:
    std::optional<Token> add(bool global, EventMask mask, Handler handler);

    MonitorTable m_monitors;
    bool m_refuse = false;
};

} // namespace tarvo
