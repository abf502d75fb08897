#include "X11DisplayOptions.h"

#include "DesktopModule.h"
#include "X11Connection.h"

#include <cstdlib>

namespace tarvo {

X11DisplayOptions::X11DisplayOptions(X11Connection* connection, int screenNumber)
    : m_connection(connection), m_selection("_XSETTINGS_S" + QByteArray::number(screenNumber)) {}

std::optional<QHash<QByteArray, XSettings::Value>> X11DisplayOptions::readXSettings() const {
    if (!m_connection)
        return std::nullopt;
    xcb_connection_t* c = m_connection->get();
    const xcb_atom_t selection = m_connection->atom(m_selection.constData());
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    if (!reply)
        return std::nullopt;
    const xcb_window_t owner = reply->owner;
    free(reply);
    if (owner == XCB_NONE)
        return std::nullopt;
    const auto property =
        m_connection->readProperty(owner, m_connection->atom("_XSETTINGS_SETTINGS"), 1 << 20);
    if (!property || property->format != 8 || property->truncated)
        return std::nullopt;
    return XSettings::parse(property->value);
}

X11DisplayOptions::Sources X11DisplayOptions::read(bool forMotion) const {
    Sources sources;
    sources.xsettings = readXSettings();
    const DesktopModule* gnome = desktopModule();
    if (!gnome)
        return sources;
    if (forMotion) {
        sources.gnomeAnimations =
            gnome->gnomeBoolean("org.gnome.desktop.interface", "enable-animations");
    } else {
        sources.gnomeHighContrast =
            gnome->gnomeBoolean("org.gnome.desktop.a11y.interface", "high-contrast");
        sources.gnomeTheme = gnome->gnomeString("org.gnome.desktop.interface", "gtk-theme");
    }
    return sources;
}

bool X11DisplayOptions::reduceMotion() const {
    return reduceMotion(read(true));
}

bool X11DisplayOptions::reduceTransparency() const {
    return increaseContrast();
}

bool X11DisplayOptions::increaseContrast() const {
    return increaseContrast(read(false));
}

bool X11DisplayOptions::reduceMotion(const Sources& sources) {
    if (sources.xsettings) {
        const auto it = sources.xsettings->find("Net/EnableAnimations");
        if (it != sources.xsettings->end()) {
            if (const auto* on = std::get_if<qint32>(&it.value()); on && *on == 0)
                return true;
        }
    }
    return sources.gnomeAnimations == false;
}

bool X11DisplayOptions::increaseContrast(const Sources& sources) {
    if (sources.xsettings) {
        const auto it = sources.xsettings->find("Net/ThemeName");
        if (it != sources.xsettings->end()) {
            if (const auto* name = std::get_if<QByteArray>(&it.value());
                name && isHighContrastTheme(*name))
                return true;
        }
    }
    if (sources.gnomeHighContrast == true)
        return true;
    return sources.gnomeTheme && isHighContrastTheme(*sources.gnomeTheme);
}

bool X11DisplayOptions::isHighContrastTheme(const QByteArray& themeName) {
    // "HighContrast", "HighContrastInverse", "Adwaita-highcontrast", "high-contrast"...
    QByteArray name = themeName.toLower();
    name.replace('-', "").replace('_', "").replace(' ', "");
    return name.contains("highcontrast");
}

} // namespace tarvo
