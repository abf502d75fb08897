#include "HotkeyMonitor.h"

#include "TarvoCore/L10n.h"
#include "TarvoCore/Log.h"
#include "TarvoPlatform/HotkeyKeys.h"

namespace tarvo {

HotkeyMonitor::HotkeyMonitor(HotkeyGrabber& grabber) : m_grabber(grabber) {}

HotkeyMonitor::~HotkeyMonitor() {
    deactivate();
}

bool HotkeyMonitor::activate(const HotkeySpec& spec) {
    deactivate();
    m_spec = spec;
    auto failure = m_grabber.grab(spec, [this] { pressed(); });
    if (!failure) {
        m_isActive = true;
        return true;
    }
    Log::ui().error(
        QStringLiteral("could not register the hotkey (status %1)").arg(failure->status));
    deactivate();
    m_lastFailure = std::move(failure);
    return false;
}

void HotkeyMonitor::deactivate() {
    m_grabber.ungrab();
    m_spec.reset();
    m_isActive = false;
    m_lastFailure.reset();
}

void HotkeyMonitor::pressed() {
    if (onTrigger)
        onTrigger();
}

bool HotkeyMonitor::matches(const HotkeySpec& spec, quint16 keyCode, quint64 modifierFlags) {
    return keyCode == spec.keyCode &&
           (modifierFlags & relevantModifiers) == (spec.modifierFlags & relevantModifiers);
}

QString HotkeyMonitor::failureMessage(const HotkeySpec& spec, const HotkeyFailure& failure) {
    const QString shortcut = HotkeyKeys::text(spec);
    switch (failure.kind) {
    case HotkeyFailure::Kind::taken:
        if (!failure.windowManager.isEmpty())
            return L10n::hotkeyTakenByWindowManager(shortcut, failure.windowManager);
        return L10n::hotkeyTaken(shortcut);
    case HotkeyFailure::Kind::unknownKey:
        return L10n::hotkeyUnknownKey(shortcut);
    case HotkeyFailure::Kind::noDisplay:
        return L10n::hotkeyNoDisplay();
    }
    return {};
}

} // namespace tarvo
