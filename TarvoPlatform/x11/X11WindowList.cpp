#include "X11WindowList.h"

#include "X11Connection.h"
#include "X11Properties.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <unordered_map>

namespace tarvo {

namespace {

template <class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T> Reply<T> own(T* reply) {
    return Reply<T>(reply, &std::free);
}

constexpr quint32 allDesktops = 0xFFFFFFFF;
// Enough for any real stacking list or window-type list.
constexpr quint32 listLongs = 4096;

} // namespace

struct X11WindowList::Pending {
    xcb_window_t window = XCB_NONE;
    xcb_get_window_attributes_cookie_t attributes{};
    xcb_get_geometry_cookie_t geometry{};
    xcb_translate_coordinates_cookie_t position{};
    xcb_get_property_cookie_t frameExtents{};
    xcb_get_property_cookie_t windowType{};
    xcb_get_property_cookie_t state{};
    xcb_get_property_cookie_t desktop{};
    xcb_get_property_cookie_t pid{};
};

X11WindowList::X11WindowList(X11Connection& connection) : m_connection(connection) {
    X11Connection& c = m_connection;
    m_atoms = Atoms{c.atom("_NET_SUPPORTING_WM_CHECK"),
                    c.atom("_NET_CLIENT_LIST_STACKING"),
                    c.atom("_NET_CURRENT_DESKTOP"),
                    c.atom("_NET_FRAME_EXTENTS"),
                    c.atom("_NET_WM_WINDOW_TYPE"),
                    c.atom("_NET_WM_STATE"),
                    c.atom("_NET_WM_DESKTOP"),
                    c.atom("_NET_WM_PID"),
                    c.atom("_NET_WM_STATE_HIDDEN"),
                    c.atom("_NET_WM_WINDOW_TYPE_DESKTOP"),
                    c.atom("_NET_WM_WINDOW_TYPE_DOCK"),
                    c.atom("_NET_WM_WINDOW_TYPE_TOOLBAR"),
                    c.atom("_NET_WM_WINDOW_TYPE_MENU"),
                    c.atom("_NET_WM_WINDOW_TYPE_UTILITY"),
                    c.atom("_NET_WM_WINDOW_TYPE_SPLASH"),
                    c.atom("_NET_WM_WINDOW_TYPE_DIALOG"),
                    c.atom("_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"),
                    c.atom("_NET_WM_WINDOW_TYPE_POPUP_MENU"),
                    c.atom("_NET_WM_WINDOW_TYPE_TOOLTIP"),
                    c.atom("_NET_WM_WINDOW_TYPE_NOTIFICATION"),
                    c.atom("_NET_WM_WINDOW_TYPE_COMBO"),
                    c.atom("_NET_WM_WINDOW_TYPE_DND"),
                    c.atom("_NET_WM_WINDOW_TYPE_NORMAL")};
}

void X11WindowList::setScreenGeometry(QPoint primaryOrigin, double devicePixelRatio) {
    m_origin = primaryOrigin;
    m_scale = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
}

X11WindowList::Pending X11WindowList::ask(xcb_window_t window) {
    xcb_connection_t* c = m_connection.get();
    Pending p;
    p.window = window;
    p.attributes = xcb_get_window_attributes(c, window);
    p.geometry = xcb_get_geometry(c, window);
    p.position = xcb_translate_coordinates(c, window, m_connection.root(), 0, 0);
    p.frameExtents = X11Properties::request(c, window, m_atoms.frameExtents, XCB_ATOM_CARDINAL, 4);
    p.windowType = X11Properties::request(c, window, m_atoms.windowType, XCB_ATOM_ATOM, 32);
    p.state = X11Properties::request(c, window, m_atoms.state, XCB_ATOM_ATOM, 32);
    p.desktop = X11Properties::request(c, window, m_atoms.desktop, XCB_ATOM_CARDINAL, 1);
    p.pid = X11Properties::request(c, window, m_atoms.pid, XCB_ATOM_CARDINAL, 1);
    return p;
}

void X11WindowList::discard(Pending& p) {
    xcb_connection_t* c = m_connection.get();
    xcb_discard_reply(c, p.attributes.sequence);
    xcb_discard_reply(c, p.geometry.sequence);
    xcb_discard_reply(c, p.position.sequence);
    for (const auto& cookie : {p.frameExtents, p.windowType, p.state, p.desktop, p.pid})
        xcb_discard_reply(c, cookie.sequence);
}

qint64 X11WindowList::layerFor(const std::vector<quint32>& types, bool overrideRedirect,
                               bool& isDesktop) const {
    isDesktop = false;
    // The first type the window names that we know decides.
    for (const quint32 type : types) {
        if (type == m_atoms.typeDesktop) {
            isDesktop = true;
            return WindowLayer::normal;
        }
        if (type == m_atoms.typeDock)
            return WindowLayer::dock;
        if (type == m_atoms.typeMenu || type == m_atoms.typeDropdownMenu)
            return WindowLayer::menu;
        if (type == m_atoms.typePopupMenu || type == m_atoms.typeTooltip ||
            type == m_atoms.typeCombo || type == m_atoms.typeDnd)
            return WindowLayer::popup;
        if (type == m_atoms.typeNotification)
            return WindowLayer::notification;
        if (type == m_atoms.typeUtility || type == m_atoms.typeToolbar)
            return WindowLayer::utility;
        if (type == m_atoms.typeNormal || type == m_atoms.typeDialog || type == m_atoms.typeSplash)
            return WindowLayer::normal;
    }
    // Unmanaged windows without a type are menus, tooltips and the like.
    return overrideRedirect ? WindowLayer::popup : WindowLayer::normal;
}

std::optional<WindowInfo> X11WindowList::collect(Pending& p, bool managed,
                                                 std::optional<quint32> currentDesktop) {
    xcb_connection_t* c = m_connection.get();
    auto attributes = own(xcb_get_window_attributes_reply(c, p.attributes, nullptr));
    auto geometry = own(xcb_get_geometry_reply(c, p.geometry, nullptr));
    auto position = own(xcb_translate_coordinates_reply(c, p.position, nullptr));
    const auto extents = X11Properties::cardinals(X11Properties::take(c, p.frameExtents));
    const auto types = X11Properties::cardinals(X11Properties::take(c, p.windowType));
    const auto states = X11Properties::cardinals(X11Properties::take(c, p.state));
    const auto desktop = X11Properties::firstCardinal(X11Properties::take(c, p.desktop));
    const auto pid = X11Properties::firstCardinal(X11Properties::take(c, p.pid));

    if (!attributes || !geometry || !position)
        return std::nullopt; // gone meanwhile
    if (attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
        attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
        return std::nullopt;
    if (m_connection.isOwnWindow(p.window))
        return std::nullopt;
    if (std::find(states.begin(), states.end(), m_atoms.stateHidden) != states.end())
        return std::nullopt;
    if (managed && currentDesktop && desktop && *desktop != allDesktops &&
        *desktop != *currentDesktop)
        return std::nullopt;
    bool isDesktop = false;
    const qint64 layer = layerFor(types, attributes->override_redirect != 0, isDesktop);
    if (isDesktop || geometry->width == 0 || geometry->height == 0)
        return std::nullopt;

    double left = 0, right = 0, top = 0, bottom = 0;
    if (extents.size() == 4) {
        left = extents[0];
        right = extents[1];
        top = extents[2];
        bottom = extents[3];
    }
    WindowInfo info;
    info.ownerPID = pid && *pid <= 0x7FFFFFFF ? static_cast<qint32>(*pid) : 0;
    info.bounds = Rect{(position->dst_x - left - m_origin.x()) / m_scale,
                       (position->dst_y - top - m_origin.y()) / m_scale,
                       (geometry->width + left + right) / m_scale,
                       (geometry->height + top + bottom) / m_scale};
    info.layer = layer;
    info.windowID = p.window;
    return info;
}

std::vector<WindowInfo> X11WindowList::windowsOnScreen() {
    xcb_connection_t* c = m_connection.get();
    const xcb_window_t root = m_connection.root();

    // First batch: the root's lists, and everything about the windows of the
    // previous listing, which are most likely still the windows of this one.
    const auto checkCookie =
        X11Properties::request(c, root, m_atoms.supportingCheck, XCB_ATOM_WINDOW, 1);
    const auto stackingCookie =
        X11Properties::request(c, root, m_atoms.clientListStacking, XCB_ATOM_WINDOW, listLongs);
    const auto desktopCookie =
        X11Properties::request(c, root, m_atoms.currentDesktop, XCB_ATOM_CARDINAL, 1);
    const auto treeCookie = xcb_query_tree(c, root);
    std::unordered_map<xcb_window_t, Pending> pending;
    for (const xcb_window_t window : m_known)
        pending.emplace(window, ask(window));

    const bool managed =
        X11Properties::firstCardinal(X11Properties::take(c, checkCookie)).has_value();
    std::vector<quint32> stacking =
        X11Properties::cardinals(X11Properties::take(c, stackingCookie));
    const std::optional<quint32> currentDesktop =
        X11Properties::firstCardinal(X11Properties::take(c, desktopCookie));
    auto tree = own(xcb_query_tree_reply(c, treeCookie, nullptr));
    m_lastRoundTrips = 1;

    // Bottom to top, either way.
    std::vector<xcb_window_t> order;
    if (managed && !stacking.empty()) {
        order.assign(stacking.begin(), stacking.end());
    } else if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        order.assign(children, children + xcb_query_tree_children_length(tree.get()));
    }
    const bool usesClientList = managed && !stacking.empty();

    // Second batch, only for windows new since the last listing.
    bool askedMore = false;
    for (const xcb_window_t window : order) {
        if (!pending.count(window)) {
            pending.emplace(window, ask(window));
            askedMore = true;
        }
    }
    if (askedMore)
        m_lastRoundTrips = 2;

    std::vector<WindowInfo> windows;
    windows.reserve(order.size());
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        auto found = pending.find(*it);
        if (found == pending.end())
            continue; // listed twice
        if (std::optional<WindowInfo> info = collect(found->second, usesClientList, currentDesktop))
            windows.push_back(*info);
        pending.erase(found);
    }
    for (auto& [window, rest] : pending)
        discard(rest);
    m_connection.scheduleDrain();

    // Docks, menus and notifications lie in front of every ordinary window.
    std::stable_sort(windows.begin(), windows.end(),
                     [](const WindowInfo& a, const WindowInfo& b) { return a.layer > b.layer; });
    m_known = order;
    return windows;
}

} // namespace tarvo
