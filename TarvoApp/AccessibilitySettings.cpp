#include "AccessibilitySettings.h"

#include <QStandardPaths>

#include <vector>

namespace tarvo::AccessibilitySettings {

namespace {

struct Known {
    const char* desktop;
    const char* program;
    const char* argument;
};

const std::vector<Known>& known() {
    static const std::vector<Known> list{
        {"XFCE", "xfce4-accessibility-settings", nullptr},
        {"GNOME", "gnome-control-center", "universal-access"},
        {"KDE", "systemsettings", "kcm_access"},
        {"KDE", "systemsettings5", "kcm_access"},
    };
    return list;
}

} // namespace

std::optional<Command> command(const QString& currentDesktop,
                               const std::function<QString(const QString&)>& findExecutable) {
    const QStringList desktops = currentDesktop.toUpper().split(u':', Qt::SkipEmptyParts);
    std::optional<Command> fallback;
    for (const Known& entry : known()) {
        const QString path = findExecutable(QLatin1String(entry.program));
        if (path.isEmpty())
            continue;
        Command found{path,
                      entry.argument ? QStringList{QLatin1String(entry.argument)} : QStringList{}};
        if (desktops.contains(QLatin1String(entry.desktop)))
            return found;
        if (!fallback)
            fallback = std::move(found);
    }
    return fallback;
}

std::optional<Command> command() {
    return command(qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                   [](const QString& name) { return QStandardPaths::findExecutable(name); });
}

QString howToTurnOn() {
    return QStringLiteral("Turn on assistive technologies in your desktop's accessibility "
                          "settings, then log out and back in.");
}

} // namespace tarvo::AccessibilitySettings
