#include "X11AppLauncher.h"

#include "X11Properties.h"

#include "TarvoCore/Log.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/Workspace.h"

#include <gio/gdesktopappinfo.h>

#include <cstdlib>
#include <memory>

namespace tarvo {

namespace {

template <class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

} // namespace

X11AppLauncher::X11AppLauncher(Workspace& workspace, ApplicationDirectory& applications,
                               QByteArray displayName)
    : m_workspace(workspace), m_applications(applications), m_displayName(std::move(displayName)) {}

X11AppLauncher::~X11AppLauncher() {
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool X11AppLauncher::connect() {
    if (m_tried)
        return m_connection != nullptr;
    m_tried = true;
    int screenNumber = 0;
    xcb_connection_t* c =
        xcb_connect(m_displayName.isEmpty() ? nullptr : m_displayName.constData(), &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return false;
    }
    m_connection = c;
    m_root = it.data->root;
    // A window of ours whose property changes tell the server's time.
    m_timeWindow = xcb_generate_id(c);
    const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, m_timeWindow, m_root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    return true;
}

xcb_atom_t X11AppLauncher::atom(const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(m_connection, 0, quint16(qstrlen(name)), name);
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, cookie, nullptr),
                                         &std::free);
    return reply ? reply->atom : XCB_NONE;
}

std::optional<xcb_timestamp_t> X11AppLauncher::serverTime() {
    const xcb_atom_t property = atom("_TARVO_TIME");
    xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_timeWindow, property, XCB_ATOM_STRING,
                        8, 0, nullptr);
    xcb_flush(m_connection);
    // Only our own window's events come to this connection.
    while (xcb_generic_event_t* event = xcb_wait_for_event(m_connection)) {
        Reply<xcb_generic_event_t> owned(event, &std::free);
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (notify->window == m_timeWindow)
                return notify->time;
        }
    }
    return std::nullopt;
}

std::vector<xcb_window_t> X11AppLauncher::windows(const QString& appID) {
    std::vector<xcb_window_t> found;
    if (!connect())
        return found;
    xcb_connection_t* c = m_connection;
    const xcb_atom_t typeAtom = atom("_NET_WM_WINDOW_TYPE");
    const xcb_atom_t normal = atom("_NET_WM_WINDOW_TYPE_NORMAL");
    const xcb_atom_t dialog = atom("_NET_WM_WINDOW_TYPE_DIALOG");
    const std::vector<quint32> stacking = X11Properties::cardinals(
        X11Properties::take(c, X11Properties::request(c, m_root, atom("_NET_CLIENT_LIST_STACKING"),
                                                      XCB_ATOM_WINDOW, 4096)));
    std::vector<xcb_get_property_cookie_t> types;
    types.reserve(stacking.size());
    for (quint32 window : stacking)
        types.push_back(X11Properties::request(c, window, typeAtom, XCB_ATOM_ATOM, 16));
    std::vector<std::vector<quint32>> typesOf;
    typesOf.reserve(stacking.size());
    for (const xcb_get_property_cookie_t& cookie : types)
        typesOf.push_back(X11Properties::cardinals(X11Properties::take(c, cookie)));
    // The stacking list runs bottom to top.
    for (std::size_t i = stacking.size(); i-- > 0;) {
        const std::vector<quint32>& type = typesOf[i];
        const bool ordinary = type.empty() || type.front() == normal || type.front() == dialog;
        if (!ordinary)
            continue;
        WindowInfo info;
        info.windowID = stacking[i];
        if (m_workspace.applicationID(info) == appID)
            found.push_back(stacking[i]);
    }
    return found;
}

bool X11AppLauncher::isRunning(const QString& appID) {
    return !windows(appID).empty();
}

bool X11AppLauncher::activate(const QString& appID) {
    const std::vector<xcb_window_t> found = windows(appID);
    if (found.empty())
        return false;
    const std::optional<xcb_timestamp_t> time = serverTime();
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = found.front();
    message.type = atom("_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 2; // asked for by the user, as a pager asks
    message.data.data32[1] = time.value_or(XCB_CURRENT_TIME);
    message.data.data32[2] = XCB_NONE;
    xcb_send_event(m_connection, 0, m_root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(m_connection);
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
