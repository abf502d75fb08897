#pragma once

#include "TarvoCore/HotkeySpec.h"

#include <QString>

#include <functional>
#include <optional>

namespace tarvo {

// Why a global shortcut could not be registered.
struct HotkeyFailure {
    enum class Kind {
        taken,      // another program holds the combination
        unknownKey, // no key on this keyboard for the key code
        noDisplay,  // no display to register on
    };
    Kind kind = Kind::taken;
    // The display server's error code (X11's BadAccess is 10); 0 when none.
    int status = 0;
    // The window manager's name when the combination is its own key (the
    // window menu's Alt+Space), else empty.
    QString windowManager;

    bool operator==(const HotkeyFailure&) const = default;
};

// One system-wide keyboard shortcut at a time. Main thread.
class HotkeyGrabber {
public:
    virtual ~HotkeyGrabber() = default;
    // Registers `spec` in place of any earlier registration and calls
    // `pressed` on each press; none on success, else why it failed. The new
    // combination is held before the earlier one is let go, so there is no
    // moment in which another program could take the shortcut; on failure
    // the earlier registration is left as it was.
    virtual std::optional<HotkeyFailure> grab(const HotkeySpec& spec,
                                              std::function<void()> pressed) = 0;
    // Safe to call with nothing registered.
    virtual void ungrab() = 0;
};

} // namespace tarvo
