#include "X11DisplayOptions.h"

#include "X11Connection.h"
#include "X11Reply.h"

#include <gio/gio.h>

#include <memory>

namespace tarvo {

namespace {

struct SchemaUnref {
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// One GNOME setting, none when its schema or key is not installed (asking
// GSettings for a missing schema would end the process).
GVariant* gnomeValue(const char* schemaId, const char* key) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return nullptr;
    std::unique_ptr<GSettingsSchema, SchemaUnref> schema(
        g_settings_schema_source_lookup(source, schemaId, TRUE));
    if (!schema || !g_settings_schema_has_key(schema.get(), key))
        return nullptr;
    std::unique_ptr<GSettings, ObjectUnref> settings(
        g_settings_new_full(schema.get(), nullptr, nullptr));
    return g_settings_get_value(settings.get(), key);
}

std::optional<bool> gnomeBoolean(const char* schemaId, const char* key) {
    GVariant* value = gnomeValue(schemaId, key);
    if (!value)
        return std::nullopt;
    std::optional<bool> result;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN))
        result = g_variant_get_boolean(value) != FALSE;
    g_variant_unref(value);
    return result;
}

std::optional<QByteArray> gnomeString(const char* schemaId, const char* key) {
    GVariant* value = gnomeValue(schemaId, key);
    if (!value)
        return std::nullopt;
    std::optional<QByteArray> result;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING))
        result = QByteArray(g_variant_get_string(value, nullptr));
    g_variant_unref(value);
    return result;
}

} // namespace

X11DisplayOptions::X11DisplayOptions(X11Connection* connection, int screenNumber)
    : m_connection(connection), m_selection("_XSETTINGS_S" + QByteArray::number(screenNumber)) {}

std::optional<QHash<QByteArray, XSettings::Value>> X11DisplayOptions::readXSettings() const {
    if (!m_connection)
        return std::nullopt;
    xcb_connection_t* c = m_connection->get();
    const xcb_atom_t selection = m_connection->atom(m_selection.constData());
    const X11Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    if (!reply)
        return std::nullopt;
    const xcb_window_t owner = reply->owner;
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
    if (forMotion) {
        sources.gnomeAnimations = gnomeBoolean("org.gnome.desktop.interface", "enable-animations");
    } else {
        sources.gnomeHighContrast =
            gnomeBoolean("org.gnome.desktop.a11y.interface", "high-contrast");
        sources.gnomeTheme = gnomeString("org.gnome.desktop.interface", "gtk-theme");
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
