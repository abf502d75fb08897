// GLib's headers use "signals" as a name: they come before any Qt header.
#include <gio/gio.h>

#include "support/AtSpiTree.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <memory>
#include <string>

namespace tarvo::test {

namespace {

constexpr char accessibleInterface[] = "org.a11y.atspi.Accessible";

struct VariantDeleter {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using Variant = std::unique_ptr<GVariant, VariantDeleter>;

struct ObjectDeleter {
    void operator()(gpointer o) const { g_object_unref(o); }
};
using Connection = std::unique_ptr<GDBusConnection, ObjectDeleter>;

struct Reference {
    std::string name;
    std::string path;
};

// Plain blocking calls, each bounded by what is left of the whole read.
class Reader {
public:
    explicit Reader(int ms) : m_budget(ms) { m_timer.start(); }

    Variant call(GDBusConnection* bus, const char* destination, const char* path,
                 const char* interface, const char* method, GVariant* parameters,
                 const char* replyType) {
        const qint64 left = m_budget - m_timer.elapsed();
        if (!bus || left <= 0) {
            if (parameters)
                g_variant_unref(g_variant_ref_sink(parameters));
            return nullptr;
        }
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(
            bus, destination, path, interface, method, parameters, G_VARIANT_TYPE(replyType),
            G_DBUS_CALL_FLAGS_NO_AUTO_START, int(left), nullptr, &error);
        if (error)
            g_error_free(error);
        return Variant(reply);
    }

    // One connection for the whole run: opening one per read would flood the
    // bus while the program it waits for tries to join.
    GDBusConnection* accessibilityBus() {
        static Connection bus;
        if (bus && g_dbus_connection_is_closed(bus.get()))
            bus.reset();
        if (!bus)
            bus = connect();
        return bus.get();
    }

    Connection connect() {
        GError* error = nullptr;
        Connection session(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
        if (error)
            g_error_free(error);
        const Variant address = call(session.get(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                     "GetAddress", nullptr, "(s)");
        if (!address)
            return nullptr;
        const gchar* text = nullptr;
        g_variant_get(address.get(), "(&s)", &text);
        error = nullptr;
        Connection bus(g_dbus_connection_new_for_address_sync(
            text,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error));
        if (error)
            g_error_free(error);
        return bus;
    }

    std::vector<Reference> children(GDBusConnection* bus, const Reference& of) {
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

    std::optional<qint64> processOf(GDBusConnection* bus, const std::string& name) {
        const Variant reply =
            call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                 "GetConnectionUnixProcessID", g_variant_new("(s)", name.c_str()), "(u)");
        if (!reply)
            return std::nullopt;
        guint32 pid = 0;
        g_variant_get(reply.get(), "(u)", &pid);
        return qint64(pid);
    }

    QString text(GDBusConnection* bus, const Reference& of, const char* method) {
        const Variant reply = call(bus, of.name.c_str(), of.path.c_str(), accessibleInterface,
                                   method, nullptr, "(s)");
        if (!reply)
            return {};
        const gchar* value = nullptr;
        g_variant_get(reply.get(), "(&s)", &value);
        return QString::fromUtf8(value);
    }

    QString property(GDBusConnection* bus, const Reference& of, const char* name) {
        const Variant reply =
            call(bus, of.name.c_str(), of.path.c_str(), "org.freedesktop.DBus.Properties", "Get",
                 g_variant_new("(ss)", accessibleInterface, name), "(v)");
        if (!reply)
            return {};
        GVariant* inner = nullptr;
        g_variant_get(reply.get(), "(v)", &inner);
        const Variant value(inner);
        if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING))
            return {};
        return QString::fromUtf8(g_variant_get_string(value.get(), nullptr));
    }

    AtSpiNode node(GDBusConnection* bus, const Reference& of, int depthLeft) {
        AtSpiNode node;
        node.roleName = text(bus, of, "GetRoleName");
        if (const Variant role = call(bus, of.name.c_str(), of.path.c_str(), accessibleInterface,
                                      "GetRole", nullptr, "(u)"))
            g_variant_get(role.get(), "(u)", &node.role);
        node.name = property(bus, of, "Name");
        node.description = property(bus, of, "Description");
        if (depthLeft > 0) {
            for (const Reference& child : children(bus, of))
                node.children.push_back(this->node(bus, child, depthLeft - 1));
        }
        return node;
    }

private:
    qint64 m_budget;
    QElapsedTimer m_timer;
};

void collect(const AtSpiNode& node, quint32 role, std::vector<const AtSpiNode*>& out) {
    if (node.role == role)
        out.push_back(&node);
    for (const AtSpiNode& child : node.children)
        collect(child, role, out);
}

} // namespace

std::vector<const AtSpiNode*> AtSpiNode::withRole(quint32 wanted) const {
    std::vector<const AtSpiNode*> out;
    collect(*this, wanted, out);
    return out;
}

QString AtSpiNode::describe(int indent) const {
    QString text = QString(indent * 2, u' ') + roleName + QStringLiteral(" (%1) \"").arg(role) +
                   name + QStringLiteral("\"\n");
    for (const AtSpiNode& child : children)
        text += child.describe(indent + 1);
    return text;
}

std::optional<AtSpiNode> readAtSpiTree(qint64 pid, int ms, int maxDepth) {
    Reader reader(ms);
    GDBusConnection* bus = reader.accessibilityBus();
    if (!bus)
        return std::nullopt;
    const Reference registry{"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"};
    for (const Reference& application : reader.children(bus, registry)) {
        if (reader.processOf(bus, application.name) == pid)
            return reader.node(bus, application, maxDepth);
    }
    return std::nullopt;
}

} // namespace tarvo::test
