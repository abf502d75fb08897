#include "X11WindowList.h"

#include "X11Connection.h"
#include "X11Properties.h"
#include "X11Reply.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace tarvo {

namespace {

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
    m_listener =
        m_connection.addListener([this](const xcb_generic_event_t& e) { return handle(e); });
    m_stopWatching.setSingleShot(true);
    m_stopWatching.setInterval(watchMilliseconds);
    QObject::connect(&m_stopWatching, &QTimer::timeout, [this] { stopWatching(); });
}

X11WindowList::~X11WindowList() {
    m_connection.removeListener(m_listener);
    stopWatching();
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

void X11WindowList::collect(Pending& p, Facts& facts) {
    xcb_connection_t* c = m_connection.get();
    auto attributes = ownReply(xcb_get_window_attributes_reply(c, p.attributes, nullptr));
    auto geometry = ownReply(xcb_get_geometry_reply(c, p.geometry, nullptr));
    auto position = ownReply(xcb_translate_coordinates_reply(c, p.position, nullptr));
    facts.extents = X11Properties::cardinals(X11Properties::take(c, p.frameExtents));
    facts.types = X11Properties::cardinals(X11Properties::take(c, p.windowType));
    facts.states = X11Properties::cardinals(X11Properties::take(c, p.state));
    facts.desktop = X11Properties::firstCardinal(X11Properties::take(c, p.desktop));
    facts.pid = X11Properties::firstCardinal(X11Properties::take(c, p.pid));
    facts.known = true;
    facts.gone = !attributes || !geometry || !position;
    if (facts.gone)
        return;
    facts.mapState = attributes->map_state;
    facts.inputOnly = attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY;
    facts.overrideRedirect = attributes->override_redirect != 0;
    facts.x = position->dst_x;
    facts.y = position->dst_y;
    facts.width = geometry->width;
    facts.height = geometry->height;
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

std::optional<WindowInfo> X11WindowList::info(xcb_window_t window, const Facts& f) const {
    if (f.gone || f.mapState != XCB_MAP_STATE_VIEWABLE || f.inputOnly)
        return std::nullopt;
    if (m_connection.isOwnWindow(window))
        return std::nullopt;
    if (std::find(f.states.begin(), f.states.end(), m_atoms.stateHidden) != f.states.end())
        return std::nullopt;
    if (m_usesClientList && m_currentDesktop && f.desktop && *f.desktop != allDesktops &&
        *f.desktop != *m_currentDesktop)
        return std::nullopt;
    bool isDesktop = false;
    const qint64 layer = layerFor(f.types, f.overrideRedirect, isDesktop);
    if (isDesktop || f.width == 0 || f.height == 0)
        return std::nullopt;

    double left = 0, right = 0, top = 0, bottom = 0;
    if (f.extents.size() == 4) {
        left = f.extents[0];
        right = f.extents[1];
        top = f.extents[2];
        bottom = f.extents[3];
    }
    WindowInfo result;
    result.ownerPID = f.pid && *f.pid <= 0x7FFFFFFF ? static_cast<qint32>(*f.pid) : 0;
    result.bounds =
        Rect{(f.x - left - m_origin.x()) / m_scale, (f.y - top - m_origin.y()) / m_scale,
             (f.width + left + right) / m_scale, (f.height + top + bottom) / m_scale};
    result.layer = layer;
    result.windowID = window;
    return result;
}

// Told of every change from here on: whatever a later reply says is then
// either current or followed by an event that says it changed.
void X11WindowList::watch(xcb_window_t window) {
    if (m_watched.insert(window).second)
        m_connection.addEventMask(window, windowEvents);
}

void X11WindowList::unwatch(xcb_window_t window) {
    if (m_watched.erase(window) > 0)
        m_connection.removeEventMask(window, windowEvents);
}

void X11WindowList::stopWatching() {
    if (!m_watching)
        return;
    m_connection.removeEventMask(m_connection.root(), rootEvents);
    for (const xcb_window_t window : m_watched)
        m_connection.removeEventMask(window, windowEvents);
    m_watched.clear();
    m_connection.flush();
    m_watching = false;
    m_stopWatching.stop();
    forgetAll();
    m_facts.clear();
}

void X11WindowList::forgetAll() {
    m_rootKnown = false;
    for (auto& [window, facts] : m_facts)
        facts.known = false;
}

bool X11WindowList::handle(const xcb_generic_event_t& event) {
    if (!m_watching)
        return false;
    const xcb_window_t root = m_connection.root();
    // Others may watch the same windows: events are never taken from them.
    switch (event.response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (e.window == root) {
            if (e.atom == m_atoms.clientListStacking || e.atom == m_atoms.currentDesktop ||
                e.atom == m_atoms.supportingCheck)
                m_rootKnown = false;
        } else if (const auto it = m_facts.find(e.window); it != m_facts.end()) {
            it->second.known = false;
        }
        return false;
    }
    case XCB_CONFIGURE_NOTIFY:
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
    case XCB_REPARENT_NOTIFY:
    case XCB_DESTROY_NOTIFY:
    case XCB_GRAVITY_NOTIFY:
    case XCB_CIRCULATE_NOTIFY:
    case XCB_CREATE_NOTIFY: {
        // These events name the window told (`event`) first, then the one
        // that changed (`window`), except creation, which names its parent.
        const auto* words = reinterpret_cast<const quint32*>(&event);
        const xcb_window_t told = words[1];
        const xcb_window_t changed = words[2];
        if (told == root) {
            // A top-level window (a frame) changed: the stacking, and where
            // the windows inside frames lie. Our own windows, a drag image
            // following the pointer among them, change nothing of that.
            if (m_connection.isOwnWindow(changed))
                return false;
            forgetAll();
        } else if (const auto it = m_facts.find(told); it != m_facts.end()) {
            it->second.known = false;
            if ((event.response_type & 0x7f) == XCB_DESTROY_NOTIFY) {
                it->second.gone = true;
                m_watched.erase(told);
                m_connection.forgetWindow(told);
            }
        }
        return false;
    }
    default:
        return false;
    }
}

std::vector<WindowInfo> X11WindowList::windowsOnScreen() {
    xcb_connection_t* c = m_connection.get();
    const xcb_window_t root = m_connection.root();
    m_stopWatching.start();
    if (!m_watching) {
        m_connection.addEventMask(root, rootEvents);
        m_watching = true;
        forgetAll();
    }

    // First batch: the root's lists when they changed, and whatever changed
    // about the windows of the previous listing, which are most likely still
    // the windows of this one.
    m_lastRoundTrips = 0;
    std::unordered_map<xcb_window_t, Pending> pending;
    for (const xcb_window_t window : m_order) {
        const auto it = m_facts.find(window);
        if (it != m_facts.end() && (it->second.known || it->second.gone))
            continue;
        if (m_connection.isOwnWindow(window) || pending.count(window))
            continue;
        watch(window);
        pending.emplace(window, ask(window));
    }
    if (!m_rootKnown) {
        const auto checkCookie =
            X11Properties::request(c, root, m_atoms.supportingCheck, XCB_ATOM_WINDOW, 1);
        const auto stackingCookie =
            X11Properties::request(c, root, m_atoms.clientListStacking, XCB_ATOM_WINDOW, listLongs);
        const auto desktopCookie =
            X11Properties::request(c, root, m_atoms.currentDesktop, XCB_ATOM_CARDINAL, 1);
        const auto treeCookie = xcb_query_tree(c, root);
        m_managed = X11Properties::firstCardinal(X11Properties::take(c, checkCookie)).has_value();
        const std::vector<quint32> stacking =
            X11Properties::cardinals(X11Properties::take(c, stackingCookie));
        m_currentDesktop = X11Properties::firstCardinal(X11Properties::take(c, desktopCookie));
        auto tree = ownReply(xcb_query_tree_reply(c, treeCookie, nullptr));
        m_lastRoundTrips = 1;
        m_rootKnown = true;

        // Bottom to top, either way.
        m_usesClientList = m_managed && !stacking.empty();
        if (m_usesClientList) {
            m_order.assign(stacking.begin(), stacking.end());
        } else if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            m_order.assign(children, children + xcb_query_tree_children_length(tree.get()));
        } else {
            m_order.clear();
        }

        // Second batch, only for windows new since the last listing.
        for (const xcb_window_t window : m_order) {
            if (!m_facts.count(window) && !pending.count(window) &&
                !m_connection.isOwnWindow(window)) {
                watch(window);
                pending.emplace(window, ask(window));
                m_lastRoundTrips = 2;
            }
        }
    } else if (!pending.empty()) {
        m_lastRoundTrips = 1;
    }

    // Every answer is read, also of windows no longer listed.
    for (auto& [window, asked] : pending)
        collect(asked, m_facts[window]);
    // What is no longer listed is forgotten; a window listed again later is
    // watched and asked about afresh.
    std::unordered_map<xcb_window_t, Facts> listed;
    listed.reserve(m_order.size());
    for (const xcb_window_t window : m_order)
        if (auto it = m_facts.find(window); it != m_facts.end())
            listed.emplace(window, std::move(it->second));
    for (const auto& [window, facts] : m_facts)
        if (!listed.count(window))
            unwatch(window);
    m_facts = std::move(listed);
    m_connection.flush();
    if (m_lastRoundTrips > 0)
        m_connection.scheduleDrain();

    std::vector<WindowInfo> windows;
    windows.reserve(m_order.size());
    std::unordered_set<xcb_window_t> emitted;
    for (auto it = m_order.rbegin(); it != m_order.rend(); ++it) {
        const auto found = m_facts.find(*it);
        if (found == m_facts.end() || !emitted.insert(*it).second)
            continue; // one of ours, or listed twice
        if (std::optional<WindowInfo> window = info(*it, found->second))
            windows.push_back(*window);
    }
    // Docks, menus and notifications lie in front of every ordinary window.
    std::stable_sort(windows.begin(), windows.end(),
                     [](const WindowInfo& a, const WindowInfo& b) { return a.layer > b.layer; });
    return windows;
}

} // namespace tarvo
