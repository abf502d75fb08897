#pragma once

#include "TarvoCore/HotkeySpec.h"
#include "TarvoPlatform/HotkeyGrabber.h"

#include <QString>

#include <functional>
#include <optional>

namespace tarvo {

// The one global shortcut that opens the shelf. The owner sets onTrigger,
// activates the stored shortcut while the preference is on and deactivates
// it at the end. A refused registration is logged and kept, with its reason,
// for the settings window to show. Main thread.
class HotkeyMonitor final {
public:
    // Bits of the modifier flags that a shortcut compares.
    static constexpr quint64 relevantModifiers =
        HotkeySpec::shift | HotkeySpec::control | HotkeySpec::option | HotkeySpec::command;

    // `grabber` is not owned and must outlive the monitor.
    explicit HotkeyMonitor(HotkeyGrabber& grabber);
    ~HotkeyMonitor();
    HotkeyMonitor(const HotkeyMonitor&) = delete;
    HotkeyMonitor& operator=(const HotkeyMonitor&) = delete;

    // Registers `spec` in place of any earlier shortcut; true on success.
    // The shortcut already held is left alone, and a new one is held before
    // the old one is let go.
    bool activate(const HotkeySpec& spec);
    void deactivate();

    bool isActive() const { return m_isActive; }
    const std::optional<HotkeySpec>& spec() const { return m_spec; }
    // Why the last activation failed; none after a success or deactivate.
    const std::optional<HotkeyFailure>& lastFailure() const { return m_lastFailure; }

    // Called on each press.
    std::function<void()> onTrigger;

    // Whether a key event is the shortcut: the same key and the same
    // modifiers among shift, control, option and command (Caps Lock and the
    // like do not count).
    static bool matches(const HotkeySpec& spec, quint16 keyCode, quint64 modifierFlags);
    // Why a registration failed, in a few words for the log.
    static QString failureReason(const HotkeyFailure& failure);
    // What the settings window says about a failure.
    static QString failureMessage(const HotkeySpec& spec, const HotkeyFailure& failure);

private:
    void pressed();

    bool m_isActive = false;
    std::optional<HotkeySpec> m_spec;
    std::optional<HotkeyFailure> m_lastFailure;
    HotkeyGrabber& m_grabber;
};

} // namespace tarvo
