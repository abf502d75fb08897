#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tarvo {

// The few keys of an application's ".desktop" file that the shelf shows or
// acts on, from its main group.
struct DesktopEntry {
    // A theme icon name or an absolute path; empty when none is named.
    QString icon;
    QStringList categories;

    // A terminal emulator, which pastes with Ctrl+Shift+V.
    bool isTerminalEmulator() const;

    // None when the file cannot be read.
    static std::optional<DesktopEntry> read(const QString& path);
    static DesktopEntry parse(const QByteArray& contents);

    bool operator==(const DesktopEntry&) const = default;
};

} // namespace tarvo
