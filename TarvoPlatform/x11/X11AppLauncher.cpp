#include "X11AppLauncher.h"

#include "X11Connection.h"
#include "X11Properties.h"

#include "TarvoCore/Log.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/Workspace.h"

#include <gio/gdesktopappinfo.h>

namespace tarvo {

X11AppLauncher::X11AppLauncher(X11Connection& connection, Workspace& workspace,
                               ApplicationDirectory& applications)
    : m_connection(connection), m_workspace(workspace), m_applications(applications) {}

X11AppLauncher::~X11AppLauncher() = default;

std::vector<xcb_window_t> X11AppLauncher::windows(const QString& appID) {
    std::vector<xcb_window_t> found;
    xcb_connection_t* c = m_connection.get();
    // Interned once, by the connection's cache.
    const xcb_atom_t typeAtom = m_connection.atom("_NET_WM_WINDOW_TYPE");
    const xcb_atom_t normal = m_connection.atom("_NET_WM_WINDOW_TYPE_NORMAL");
    const xcb_atom_t dialog = m_connection.atom("_NET_WM_WINDOW_TYPE_DIALOG");
    const std::vector<quint32> stacking = X11Properties::cardinals(X11Properties::take(
        c, X11Properties::request(c, m_connection.root(),
                                  m_connection.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW,
                                  4096)));
    std::vector<xcb_get_property_cookie_t> types;
    types.reserve(stacking.size());
    for (quint32 window : stacking)
        types.push_back(X11Properties::request(c, window, typeAtom, XCB_ATOM_ATOM, 16));
    std::vector<std::vector<quint32>> typesOf;
    typesOf.reserve(stacking.size());
    for (const xcb_get_property_cookie_t& cookie : types)
        typesOf.push_back(X11Properties::cardinals(X11Properties::take(c, cookie)));
    // The stacking list runs bottom to top; the ordinary windows are named
    // all at once.
    std::vector<WindowInfo> ordinary;
    for (std::size_t i = stacking.size(); i-- > 0;) {
        const std::vector<quint32>& type = typesOf[i];
        if (type.empty() || type.front() == normal || type.front() == dialog) {
            WindowInfo info;
            info.windowID = stacking[i];
            ordinary.push_back(info);
        }
    }
    const std::vector<std::optional<QString>> ids = m_workspace.applicationIDs(ordinary);
    for (std::size_t i = 0; i < ordinary.size(); ++i)
        if (ids[i] == appID)
            found.push_back(static_cast<xcb_window_t>(ordinary[i].windowID));
    // Round trips made outside a dispatch leave events queued.
    m_connection.scheduleDrain();
    return found;
}

bool X11AppLauncher::isRunning(const QString& appID) {
    return !windows(appID).empty();
}

bool X11AppLauncher::activate(const QString& appID) {
    const std::vector<xcb_window_t> found = windows(appID);
    if (found.empty())
        return false;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = found.front();
    message.type = m_connection.atom("_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 2; // asked for by the user, as a pager asks
    // The time of the user's latest input, which the connection has at hand
    // without waiting on the server; none yet: the current time.
    message.data.data32[1] = m_connection.lastInputTime();
    message.data.data32[2] = XCB_NONE;
    xcb_send_event(m_connection.get(), 0, m_connection.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    m_connection.flush();
    return true;
}

bool X11AppLauncher::launch(const QString& appID, const QList<QUrl>& files) {
    const std::optional<QString> path = m_applications.path(appID);
    if (!path)
        return false;
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(path->toLocal8Bit().constData());
    if (!info) {
        Log::deliver().error(QStringLiteral("could not read the desktop file of %1").arg(appID));
        return false;
    }
    std::vector<QByteArray> uris;
    uris.reserve(std::size_t(files.size()));
    GList* list = nullptr;
    for (const QUrl& url : files) {
        uris.push_back(url.toEncoded());
        list = g_list_append(list, uris.back().data());
    }
    GError* error = nullptr;
    const bool launched = g_app_info_launch_uris(G_APP_INFO(info), list, nullptr, &error);
    g_list_free(list);
    g_object_unref(info);
    if (!launched) {
        Log::deliver().error(QStringLiteral("could not start %1: %2")
                                 .arg(appID, error ? QString::fromUtf8(error->message)
                                                   : QStringLiteral("unknown error")));
        if (error)
            g_error_free(error);
        return false;
    }
    return true;
}

} // namespace tarvo
