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
    // Nothing to do for the shortcut already held: grabbing it again would
    // only open a gap in which another program could take it.
    if (m_isActive && m_spec && matches(*m_spec, spec.keyCode, spec.modifierFlags))
        return true;
    auto failure = m_grabber.grab(spec, [this] { pressed(); });
    if (!failure) {
        m_spec = spec;
        m_isActive = true;
        m_lastFailure.reset();
        return true;
    }
    Log::ui().error(QStringLiteral("could not register the hotkey %1: %2")
                        .arg(HotkeyKeys::text(spec), failureReason(*failure)));
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

QString HotkeyMonitor::failureReason(const HotkeyFailure& failure) {
    switch (failure.kind) {
    case HotkeyFailure::Kind::taken: {
        const QString holder = failure.windowManager.isEmpty()
                                   ? QStringLiteral("another program holds it")
                                   : QStringLiteral("the window manager %1 holds it for its "
                                                    "window menu")
                                         .arg(failure.windowManager);
        if (failure.status == 0)
            return holder;
        // 10 is the core protocol's BadAccess, a grab someone else holds.
        return QStringLiteral("%1 (X error %2%3)")
            .arg(holder)
            .arg(failure.status)
            .arg(failure.status == 10 ? QStringLiteral(", BadAccess") : QString());
    }
    case HotkeyFailure::Kind::unknownKey:
        return QStringLiteral("no key of this keyboard makes it");
    case HotkeyFailure::Kind::noDisplay:
        return QStringLiteral("there is no X display to register it on");
    }
    return {};
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
