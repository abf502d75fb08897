#include "AtSpiCalls.h"

namespace tarvo::atspi {

Variant Calls::call(GDBusConnection* connection, const char* destination, const char* path,
                    const char* interface, const char* method, GVariant* parameters,
                    const char* replyType) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
    if (!connection || left.count() <= 0) {
        if (parameters)
            g_variant_unref(g_variant_ref_sink(parameters));
        return nullptr;
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        connection, destination, path, interface, method, parameters,
        replyType ? G_VARIANT_TYPE(replyType) : nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
        static_cast<int>(left.count()), nullptr, &error);
    if (error)
        g_error_free(error);
    return Variant(reply);
}

std::optional<QByteArray> Calls::accessibilityBusAddress(GDBusConnection* session) {
    const Variant address = call(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                 "GetAddress", nullptr, "(s)");
    if (!address)
        return std::nullopt;
    const gchar* text = nullptr;
    g_variant_get(address.get(), "(&s)", &text);
    return QByteArray(text);
}

std::vector<Reference> Calls::children(GDBusConnection* bus, const Reference& of) {
    std::vector<Reference> out;
    const Variant reply = call(bus, of.name.c_str(), of.path.c_str(), accessibleInterface,
                               "GetChildren", nullptr, "(a(so))");
    if (!reply)
        return out;
    GVariantIter* iter = nullptr;
    g_variant_get(reply.get(), "(a(so))", &iter);
    const gchar* name = nullptr;
    const gchar* path = nullptr;
    while (g_variant_iter_next(iter, "(&s&o)", &name, &path))
        out.push_back(Reference{name, path});
    g_variant_iter_free(iter);
    return out;
}

std::optional<qint64> Calls::processOf(GDBusConnection* bus, const std::string& name) {
    const Variant reply =
        call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
             "GetConnectionUnixProcessID", g_variant_new("(s)", name.c_str()), "(u)");
    if (!reply)
        return std::nullopt;
    guint32 pid = 0;
    g_variant_get(reply.get(), "(u)", &pid);
    return qint64(pid);
}

std::optional<std::string> Calls::roleName(GDBusConnection* bus, const Reference& of) {
    const Variant reply = call(bus, of.name.c_str(), of.path.c_str(), accessibleInterface,
                               "GetRoleName", nullptr, "(s)");
    if (!reply)
        return std::nullopt;
    const gchar* role = nullptr;
    g_variant_get(reply.get(), "(&s)", &role);
    return std::string(role);
}

Variant Calls::property(GDBusConnection* bus, const Reference& of, const char* name) {
    const Variant reply =
        call(bus, of.name.c_str(), of.path.c_str(), "org.freedesktop.DBus.Properties", "Get",
             g_variant_new("(ss)", accessibleInterface, name), "(v)");
    if (!reply)
        return nullptr;
    GVariant* inner = nullptr;
    g_variant_get(reply.get(), "(v)", &inner);
    return Variant(inner);
}

} // namespace tarvo::atspi
