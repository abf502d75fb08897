#pragma once

#include "XSettings.h"

#include "TarvoPlatform/DisplayOptions.h"

#include <QByteArray>

#include <optional>

namespace tarvo {

class X11Connection;

// The desktop's accessibility display settings on X11: the settings manager's
// XSETTINGS (`Net/EnableAnimations`, and a high-contrast theme in
// `Net/ThemeName`) and, where the GNOME schemas are installed, GNOME's
// interface settings (`enable-animations`, `high-contrast`, `gtk-theme`).
// Either source asking for less motion or more contrast turns it on. The
// desktop has no setting of its own for reduced transparency: it follows high
// contrast. Read afresh at every call.
class X11DisplayOptions final : public DisplayOptions {
public:
    // Without a connection only the GNOME settings are read.
    explicit X11DisplayOptions(X11Connection* connection, int screenNumber = 0);

    bool reduceMotion() const override;
    bool reduceTransparency() const override;
    bool increaseContrast() const override;

    // What the sources say, as read at one moment.
    struct Sources {
        std::optional<QHash<QByteArray, XSettings::Value>> xsettings;
        std::optional<bool> gnomeAnimations;
        std::optional<bool> gnomeHighContrast;
        std::optional<QByteArray> gnomeTheme;
    };
    static bool reduceMotion(const Sources& sources);
    static bool increaseContrast(const Sources& sources);
    static bool isHighContrastTheme(const QByteArray& themeName);

private:
    Sources read(bool forMotion) const;
    std::optional<QHash<QByteArray, XSettings::Value>> readXSettings() const;

    X11Connection* m_connection;
    QByteArray m_selection;
};

} // namespace tarvo
