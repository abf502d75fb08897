// A stand-in application for the destination tests: one window of a given
// class at a given place, and optionally an accessibility tree for it that
// answers with an editable text, or only after 5 seconds. With --serve-bus it
// also plays the accessibility bus and its registry, on the session bus.
//   tarvo-test-app-window --class Name --geometry x,y,w,h [--desktop]
//       [--a11y text|slow] [--serve-bus]
// Prints "ready" once the window is mapped and the names are taken.
#include <gio/gio.h>

#include <xcb/xcb.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const introspection = R"xml(
<node>
  <interface name="org.a11y.Bus">
    <method name="GetAddress"><arg type="s" direction="out"/></method>
  </interface>
  <interface name="org.a11y.Status">
    <property name="IsEnabled" type="b" access="read"/>
  </interface>
  <interface name="org.a11y.atspi.Accessible">
    <method name="GetChildren"><arg type="a(so)" direction="out"/></method>
    <method name="GetRoleName"><arg type="s" direction="out"/></method>
    <method name="GetState"><arg type="au" direction="out"/></method>
    <property name="Parent" type="(so)" access="read"/>
  </interface>
  <interface name="org.a11y.atspi.Component">
    <method name="GetExtents"><arg type="u" direction="in"/><arg type="(iiii)" direction="out"/></method>
    <method name="GetAccessibleAtPoint">
      <arg type="i" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="in"/>
      <arg type="(so)" direction="out"/>
    </method>
  </interface>
</node>)xml";

constexpr char rootPath[] = "/org/a11y/atspi/accessible/root";
constexpr char nullPath[] = "/org/a11y/atspi/null";

std::string mode;
GDBusConnection* busConnection = nullptr;
GDBusConnection* appConnection = nullptr;

std::string own(GDBusConnection* c) {
    return g_dbus_connection_get_unique_name(c);
}

void busMethod(GDBusConnection* connection, const gchar*, const gchar* path, const gchar* interface,
               const gchar* method, GVariant*, GDBusMethodInvocation* invocation, gpointer) {
    if (std::strcmp(method, "GetAddress") == 0) {
        const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("(s)", address ? address : ""));
        return;
    }
    if (std::strcmp(path, rootPath) == 0 && std::strcmp(method, "GetChildren") == 0) {
        // Every client of the bus but this registry counts as an application.
        GError* error = nullptr;
        GVariant* names = g_dbus_connection_call_sync(
            connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "ListNames", nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr,
            &error);
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE("a(so)"));
        if (names) {
            GVariantIter* iter = nullptr;
            const gchar* name = nullptr;
            g_variant_get(names, "(as)", &iter);
            while (g_variant_iter_next(iter, "&s", &name))
                if (name[0] == ':' && own(connection) != name)
                    g_variant_builder_add(&builder, "(so)", name, rootPath);
            g_variant_iter_free(iter);
            g_variant_unref(names);
        }
        if (error)
            g_error_free(error);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(a(so))", &builder));
        return;
    }
    (void)interface;
    g_dbus_method_invocation_return_dbus_error(invocation,
                                               "org.freedesktop.DBus.Error.UnknownMethod", method);
}

GVariant* busProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                      const gchar* property, GError**, gpointer) {
    if (std::strcmp(property, "IsEnabled") == 0)
        return g_variant_new_boolean(TRUE);
    return nullptr;
}

void appMethod(GDBusConnection* connection, const gchar*, const gchar* path, const gchar*,
               const gchar* method, GVariant*, GDBusMethodInvocation* invocation, gpointer) {
    const std::string self = own(connection);
    const std::string at = path;
    if (std::strcmp(method, "GetChildren") == 0) {
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE("a(so)"));
        if (at == rootPath)
            g_variant_builder_add(&builder, "(so)", self.c_str(), "/frame");
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(a(so))", &builder));
    } else if (std::strcmp(method, "GetRoleName") == 0) {
        g_dbus_method_invocation_return_value(
            invocation, g_variant_new("(s)", at == "/text" ? "text" : "frame"));
    } else if (std::strcmp(method, "GetState") == 0) {
        const guint32 showing = 1u << 25;
        const guint32 multiLine = 1u << 17;
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE("au"));
        g_variant_builder_add(&builder, "u", at == "/text" ? showing | multiLine : showing);
        g_variant_builder_add(&builder, "u", 0u);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(au)", &builder));
    } else if (std::strcmp(method, "GetExtents") == 0) {
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("((iiii))", 0, 0, 100000, 100000));
    } else if (std::strcmp(method, "GetAccessibleAtPoint") == 0) {
        if (mode == "slow") {
            // A hung application.
            g_usleep(5 * G_USEC_PER_SEC);
        }
        const bool descend = mode == "text" && at == "/frame";
        g_dbus_method_invocation_return_value(
            invocation, g_variant_new("((so))", self.c_str(), descend ? "/text" : nullPath));
    } else {
        g_dbus_method_invocation_return_dbus_error(
            invocation, "org.freedesktop.DBus.Error.UnknownMethod", method);
    }
}

GVariant* appProperty(GDBusConnection* connection, const gchar*, const gchar* path, const gchar*,
                      const gchar* property, GError**, gpointer) {
    if (std::strcmp(property, "Parent") != 0)
        return nullptr;
    const std::string self = own(connection);
    if (std::strcmp(path, "/text") == 0)
        return g_variant_new("(so)", self.c_str(), "/frame");
    if (std::strcmp(path, "/frame") == 0)
        return g_variant_new("(so)", self.c_str(), rootPath);
    return g_variant_new("(so)", "", nullPath);
}

GDBusConnection* connectSession() {
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!address) {
        std::fprintf(stderr, "no session bus: %s\n", error ? error->message : "?");
        std::exit(1);
    }
    GDBusConnection* c = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_free(address);
    if (!c) {
        std::fprintf(stderr, "cannot connect: %s\n", error ? error->message : "?");
        std::exit(1);
    }
    return c;
}

void requestName(GDBusConnection* c, const char* name) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", name, 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000,
        nullptr, &error);
    guint32 result = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &result);
        g_variant_unref(reply);
    }
    if (result != 1) {
        std::fprintf(stderr, "could not own %s\n", name);
        std::exit(1);
    }
}

void registerObject(GDBusConnection* c, GDBusNodeInfo* node, const char* path,
                    const char* interface, const GDBusInterfaceVTable* vtable) {
    GDBusInterfaceInfo* info = g_dbus_node_info_lookup_interface(node, interface);
    GError* error = nullptr;
    if (!g_dbus_connection_register_object(c, path, info, vtable, nullptr, nullptr, &error)) {
        std::fprintf(stderr, "register %s %s: %s\n", path, interface, error->message);
        std::exit(1);
    }
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return value;
}

void showWindow(const std::string& windowClass, int x, int y, int w, int h, bool desktop) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no display\n");
        std::exit(1);
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {screen->white_pixel};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, static_cast<int16_t>(x),
                      static_cast<int16_t>(y), static_cast<uint16_t>(w), static_cast<uint16_t>(h),
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                      values);
    std::string instance = windowClass;
    for (char& ch : instance)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const std::string classValue = instance + '\0' + windowClass + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(classValue.size()), classValue.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(windowClass.size()), windowClass.data());
    const uint32_t pid = static_cast<uint32_t>(::getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL,
                        32, 1, &pid);
    // Position and size the user asked for, so the window manager keeps them.
    uint32_t hints[18] = {};
    hints[0] = 1 | 2 | 4 | 8;
    hints[1] = static_cast<uint32_t>(x);
    hints[2] = static_cast<uint32_t>(y);
    hints[3] = static_cast<uint32_t>(w);
    hints[4] = static_cast<uint32_t>(h);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    if (desktop) {
        const xcb_atom_t type = atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_WINDOW_TYPE"),
                            XCB_ATOM_ATOM, 32, 1, &type);
    }
    xcb_map_window(c, window);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    // The connection stays open for the life of the process.
}

} // namespace

int main(int argc, char** argv) {
    // Ends with the test that started it, however the test ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() == 1)
        return 1;
    std::string windowClass = "TestApp";
    int x = 0, y = 0, w = 200, h = 200;
    bool desktop = false;
    bool serveBus = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--class") {
            windowClass = next;
            ++i;
        } else if (arg == "--geometry") {
            if (std::sscanf(next, "%d,%d,%d,%d", &x, &y, &w, &h) != 4)
                return 2;
            ++i;
        } else if (arg == "--desktop") {
            desktop = true;
        } else if (arg == "--a11y") {
            mode = next;
            ++i;
        } else if (arg == "--serve-bus") {
            serveBus = true;
        } else {
            std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
            return 2;
        }
    }

    GDBusNodeInfo* node = nullptr;
    if (serveBus || !mode.empty()) {
        GError* error = nullptr;
        node = g_dbus_node_info_new_for_xml(introspection, &error);
        if (!node)
            return 1;
    }
    static const GDBusInterfaceVTable busTable = {busMethod, busProperty, nullptr, {}};
    static const GDBusInterfaceVTable appTable = {appMethod, appProperty, nullptr, {}};
    if (serveBus) {
        busConnection = connectSession();
        registerObject(busConnection, node, "/org/a11y/bus", "org.a11y.Bus", &busTable);
        registerObject(busConnection, node, "/org/a11y/bus", "org.a11y.Status", &busTable);
        registerObject(busConnection, node, rootPath, "org.a11y.atspi.Accessible", &busTable);
        requestName(busConnection, "org.a11y.Bus");
        requestName(busConnection, "org.a11y.atspi.Registry");
    }
    if (!mode.empty()) {
        appConnection = connectSession();
        for (const char* path : {rootPath, "/frame", "/text"}) {
            registerObject(appConnection, node, path, "org.a11y.atspi.Accessible", &appTable);
            registerObject(appConnection, node, path, "org.a11y.atspi.Component", &appTable);
        }
    }
    showWindow(windowClass, x, y, w, h, desktop);
    std::printf("ready\n");
    std::fflush(stdout);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
    return 0;
}
