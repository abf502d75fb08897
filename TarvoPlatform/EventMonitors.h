#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

namespace tarvo {

// Mouse event kinds with the raw values the rest of the code counts in, so an
// event mask is one bit per kind.
enum class EventType : int {
    leftMouseDown = 1,
    leftMouseUp = 2,
    rightMouseDown = 3,
    rightMouseUp = 4,
    mouseMoved = 5,
    leftMouseDragged = 6,
    rightMouseDragged = 7,
};

using EventMask = quint64;
constexpr EventMask eventMask(EventType type) {
    return EventMask{1} << static_cast<int>(type);
}

struct MouseEvent {
    EventType type = EventType::mouseMoved;
    // Seconds since the system started, as the event source stamps events.
    double timestamp = 0;
    bool operator==(const MouseEvent&) const = default;
};

// Observers of mouse events. A global monitor sees events everywhere on the
// screen; a local one those that go to this process. Neither ever consumes an
// event. Handlers run on the main thread.
class EventMonitors {
public:
    using Handler = std::function<void(const MouseEvent&)>;
    using Token = quint64;

    virtual ~EventMonitors() = default;
    // No token when the monitor could not be installed.
    virtual std::optional<Token> addGlobalMonitor(EventMask mask, Handler handler) = 0;
    virtual std::optional<Token> addLocalMonitor(EventMask mask, Handler handler) = 0;
    virtual void removeMonitor(Token token) = 0;
};

} // namespace tarvo
