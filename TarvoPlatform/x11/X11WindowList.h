#pragma once

#include "TarvoPlatform/WindowList.h"

#include <QPoint>

#include <xcb/xcb.h>

#include <vector>

namespace tarvo {

class X11Connection;

// The visible windows from the window manager's stacking list
// (_NET_CLIENT_LIST_STACKING), each with its frame; with no window manager,
// the root window's children in stacking order. Desktop windows, hidden
// windows, windows of other workspaces and this process's own windows are
// left out. The questions of one listing share a round trip, and so do those
// about windows already seen in the previous listing. Main thread only.
class X11WindowList final : public WindowLister {
public:
    explicit X11WindowList(X11Connection& connection);

    // Where the primary screen lies in root-window pixels, and how many
    // pixels make a point, so that frames come out in points from the top
    // left of the primary screen.
    void setScreenGeometry(QPoint primaryOrigin, double devicePixelRatio);

    std::vector<WindowInfo> windowsOnScreen() override;

    // Round trips of the last listing: 1 when every window was known from the
    // listing before, 2 when new ones had to be asked about.
    int lastRoundTrips() const { return m_lastRoundTrips; }

private:
    struct Pending;
    struct Atoms {
        xcb_atom_t supportingCheck, clientListStacking, currentDesktop, frameExtents, windowType,
            state, desktop, pid, stateHidden, typeDesktop, typeDock, typeToolbar, typeMenu,
            typeUtility, typeSplash, typeDialog, typeDropdownMenu, typePopupMenu, typeTooltip,
            typeNotification, typeCombo, typeDnd, typeNormal;
    };

    Pending ask(xcb_window_t window);
    std::optional<WindowInfo> collect(Pending& pending, bool managed,
                                      std::optional<quint32> currentDesktop);
    void discard(Pending& pending);
    qint64 layerFor(const std::vector<quint32>& types, bool overrideRedirect,
                    bool& isDesktop) const;

    X11Connection& m_connection;
    Atoms m_atoms{};
    QPoint m_origin;
    double m_scale = 1.0;
    std::vector<xcb_window_t> m_known;
    int m_lastRoundTrips = 0;
};

} // namespace tarvo
