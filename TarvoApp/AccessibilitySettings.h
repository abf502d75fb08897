#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Where the user turns assistive technologies on: the desktop's own
// accessibility settings, when one of the known ones is installed.
namespace tarvo::AccessibilitySettings {

struct Command {
    QString program;
    QStringList arguments;
    bool operator==(const Command&) const = default;
};

// The settings program of the running desktop (`currentDesktop` as
// $XDG_CURRENT_DESKTOP gives it) when installed, else of any known desktop
// that is; none when no such program is found. `findExecutable` answers a
// program's path, empty when it is not installed.
std::optional<Command> command(const QString& currentDesktop,
                               const std::function<QString(const QString&)>& findExecutable);
// The same for this session.
std::optional<Command> command();

// What the explanation says when there is nothing to open.
QString howToTurnOn();

} // namespace tarvo::AccessibilitySettings
