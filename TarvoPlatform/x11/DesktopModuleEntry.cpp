// The desktop module's one entry: GNOME's settings, applications started from
// their desktop files, and the AT-SPI client, all over GIO.
// GLib's headers use "signals" as a name: they come before any Qt header.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "AtSpiAccessibility.h"
#include "DesktopModule.h"

#include <memory>

namespace tarvo {

namespace {

struct SchemaUnref {
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// Asking GSettings for a missing schema would end the process: it is looked
// up first.
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

DesktopModule::Launch launch(const QByteArray& desktopFile, const QList<QByteArray>& uris,
                             QString& reason) {
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(desktopFile.constData());
    if (!info)
        return DesktopModule::Launch::unreadable;
    GList* list = nullptr;
    for (const QByteArray& uri : uris)
        list = g_list_append(list, const_cast<char*>(uri.constData()));
    GError* error = nullptr;
    const bool launched = g_app_info_launch_uris(G_APP_INFO(info), list, nullptr, &error);
    g_list_free(list);
    g_object_unref(info);
    if (launched)
        return DesktopModule::Launch::started;
    reason = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
    if (error)
        g_error_free(error);
    return DesktopModule::Launch::failed;
}

Accessibility* makeAccessibility() {
    return new AtSpiAccessibility();
}

void setScreenGeometry(Accessibility& accessibility, QPoint primaryOrigin,
                       double devicePixelRatio) {
    static_cast<AtSpiAccessibility&>(accessibility)
        .setScreenGeometry(primaryOrigin, devicePixelRatio);
}

constexpr DesktopModule module{
    DesktopModule::currentVersion,
    &gnomeBoolean,
    &gnomeString,
    &launch,
    &makeAccessibility,
    &setScreenGeometry,
};

} // namespace

} // namespace tarvo

extern "C" __attribute__((visibility("default"))) const tarvo::DesktopModule*
tarvo_desktop_module() {
    return &tarvo::module;
}
