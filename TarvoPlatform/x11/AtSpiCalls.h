#pragma once

// GLib's headers use "signals" as a name: include this before any Qt header.
#include <gio/gio.h>

#include <QByteArray>
#include <QtGlobal>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The AT-SPI calls spoken directly on D-Bus, for the program's accessibility
// queries and for tests that read what a screen reader would.
namespace tarvo::atspi {

using Clock = std::chrono::steady_clock;

inline constexpr char registryName[] = "org.a11y.atspi.Registry";
inline constexpr char rootPath[] = "/org/a11y/atspi/accessible/root";
inline constexpr char nullPath[] = "/org/a11y/atspi/null";
inline constexpr char accessibleInterface[] = "org.a11y.atspi.Accessible";

struct VariantDeleter {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using Variant = std::unique_ptr<GVariant, VariantDeleter>;

struct ObjectDeleter {
    void operator()(gpointer o) const { g_object_unref(o); }
};
using Connection = std::unique_ptr<GDBusConnection, ObjectDeleter>;

// An element on the accessibility bus: its application's bus name and its
// object path.
struct Reference {
    std::string name;
    std::string path;
    bool isNull() const { return name.empty() || path.empty() || path == nullPath; }
    bool operator==(const Reference&) const = default;
};

// Blocking calls that share one deadline: each waits only for what is left
// of it, and none is sent once it has passed.
class Calls final {
public:
    explicit Calls(Clock::time_point deadline) : m_deadline(deadline) {}

    bool expired() const { return Clock::now() >= m_deadline; }
    Clock::time_point deadline() const { return m_deadline; }

    // The reply, of `replyType` when one is named; none without a connection,
    // past the deadline or on any error. Takes `parameters` in every case.
    Variant call(GDBusConnection* connection, const char* destination, const char* path,
                 const char* interface, const char* method, GVariant* parameters,
                 const char* replyType);

    // Where the accessibility bus listens, asked of the session bus.
    std::optional<QByteArray> accessibilityBusAddress(GDBusConnection* session);
    // The elements directly below `of`.
    std::vector<Reference> children(GDBusConnection* bus, const Reference& of);
    // The process that owns the bus name `name`.
    std::optional<qint64> processOf(GDBusConnection* bus, const std::string& name);
    // The element's role, as AT-SPI names it ("text", "push button", ...).
    std::optional<std::string> roleName(GDBusConnection* bus, const Reference& of);
    // The value of the element's accessible property `name` ("Name",
    // "Parent", ...), of whatever type it has.
    Variant property(GDBusConnection* bus, const Reference& of, const char* name);

private:
    Clock::time_point m_deadline;
};

} // namespace tarvo::atspi
