// GLib's headers use "signals" as a name: they come before any Qt header.
#include "TarvoPlatform/x11/AtSpiCalls.h"

#include "support/AtSpiTree.h"

#include <chrono>

namespace tarvo::test {

namespace {

using atspi::Connection;
using atspi::Reference;
using atspi::Variant;

// The calls of one read, all bounded by what is left of it.
class Reader {
public:
    explicit Reader(int ms) : m_calls(atspi::Clock::now() + std::chrono::milliseconds(ms)) {}

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
        const std::optional<QByteArray> address = m_calls.accessibilityBusAddress(session.get());
        if (!address)
            return nullptr;
        error = nullptr;
        Connection bus(g_dbus_connection_new_for_address_sync(
            address->constData(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error));
        if (error)
            g_error_free(error);
        return bus;
    }

    std::optional<AtSpiNode> application(qint64 pid, int maxDepth) {
        GDBusConnection* bus = accessibilityBus();
        if (!bus)
            return std::nullopt;
        const Reference registry{atspi::registryName, atspi::rootPath};
        for (const Reference& application : m_calls.children(bus, registry)) {
            if (m_calls.processOf(bus, application.name) == pid)
                return node(bus, application, maxDepth);
        }
        return std::nullopt;
    }

private:
    QString text(GDBusConnection* bus, const Reference& of, const char* name) {
        const Variant value = m_calls.property(bus, of, name);
        if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING))
            return {};
        return QString::fromUtf8(g_variant_get_string(value.get(), nullptr));
    }

    AtSpiNode node(GDBusConnection* bus, const Reference& of, int depthLeft) {
        AtSpiNode node;
        node.roleName = QString::fromStdString(m_calls.roleName(bus, of).value_or(std::string()));
        if (const Variant role =
                m_calls.call(bus, of.name.c_str(), of.path.c_str(), atspi::accessibleInterface,
                             "GetRole", nullptr, "(u)"))
            g_variant_get(role.get(), "(u)", &node.role);
        node.name = text(bus, of, "Name");
        node.description = text(bus, of, "Description");
        if (depthLeft > 0) {
            for (const Reference& child : m_calls.children(bus, of))
                node.children.push_back(this->node(bus, child, depthLeft - 1));
        }
        return node;
    }

    atspi::Calls m_calls;
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
    return Reader(ms).application(pid, maxDepth);
}

} // namespace tarvo::test
