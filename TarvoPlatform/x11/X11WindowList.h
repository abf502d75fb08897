#pragma once

#include "TarvoPlatform/WindowList.h"

#include <QPoint>
#include <QTimer>

#include <xcb/xcb.h>

#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tarvo {

class X11Connection;

// The visible windows from the window manager's stacking list
// (_NET_CLIENT_LIST_STACKING), each with its frame; with no window manager,
// the root window's children in stacking order. Desktop windows, hidden
// windows, windows of other workspaces and this process's own windows are
// left out. Main thread only.
//
// A drag asks for the list at every fresh resolution, and windows seldom
// change meanwhile: what was learnt of each window is kept, and the server
// tells of every change to it (structure and property events on the windows
// and the root), so a listing asks only about what changed. The questions of
// one listing share a round trip. A while after the last listing the events
// are given up again, so that an idle desktop wakes nothing.
class X11WindowList final : public WindowLister {
public:
    // How long after the last listing the windows are still watched.
    static constexpr int watchMilliseconds = 3000;

    explicit X11WindowList(X11Connection& connection);
    ~X11WindowList() override;

    // Where the primary screen lies in root-window pixels, and how many
    // pixels make a point, so that frames come out in points from the top
    // left of the primary screen.
    void setScreenGeometry(QPoint primaryOrigin, double devicePixelRatio);

    std::vector<WindowInfo> windowsOnScreen() override;

    // Round trips of the last listing: 0 when nothing changed since the one
    // before, 1 when the changed windows were asked about, 2 when the list
    // itself changed and new windows had to be asked about.
    int lastRoundTrips() const { return m_lastRoundTrips; }
    // Whether the windows are being watched for changes right now.
    bool watching() const { return m_watching; }

private:
    static constexpr quint32 windowEvents =
        XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    static constexpr quint32 rootEvents =
        XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;

    struct Pending;
    // What one window's questions answered.
    struct Facts {
        bool known = false; // answered since the last change
        bool gone = false;
        quint8 mapState = 0;
        bool inputOnly = false;
        bool overrideRedirect = false;
        qint32 x = 0;
        qint32 y = 0;
        quint32 width = 0;
        quint32 height = 0;
        std::vector<quint32> extents;
        std::vector<quint32> types;
        std::vector<quint32> states;
        std::optional<quint32> desktop;
        std::optional<quint32> pid;
    };
    struct Atoms {
        xcb_atom_t supportingCheck, clientListStacking, currentDesktop, frameExtents, windowType,
            state, desktop, pid, stateHidden, typeDesktop, typeDock, typeToolbar, typeMenu,
            typeUtility, typeSplash, typeDialog, typeDropdownMenu, typePopupMenu, typeTooltip,
            typeNotification, typeCombo, typeDnd, typeNormal;
    };

    Pending ask(xcb_window_t window);
    void collect(Pending& pending, Facts& facts);
    std::optional<WindowInfo> info(xcb_window_t window, const Facts& facts) const;
    qint64 layerFor(const std::vector<quint32>& types, bool overrideRedirect,
                    bool& isDesktop) const;
    bool handle(const xcb_generic_event_t& event);
    void watch(xcb_window_t window);
    void unwatch(xcb_window_t window);
    void stopWatching();
    void forgetAll();

    X11Connection& m_connection;
    int m_listener = 0;
    Atoms m_atoms{};
    QPoint m_origin;
    double m_scale = 1.0;
    // The root's answers: whether a window manager runs, the stacking order
    // (bottom to top) and the current workspace.
    bool m_rootKnown = false;
    bool m_managed = false;
    bool m_usesClientList = false;
    std::optional<quint32> m_currentDesktop;
    std::vector<xcb_window_t> m_order;
    std::unordered_map<xcb_window_t, Facts> m_facts;
    std::unordered_set<xcb_window_t> m_watched;
    bool m_watching = false;
    QTimer m_stopWatching;
    int m_lastRoundTrips = 0;
};

} // namespace tarvo
