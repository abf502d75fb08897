#pragma once

// The tarvo program as the X11 suites meet it from outside: its process over
// a home of the test's own, and questions about its windows asked on a
// connection of the test's own.
#include "TarvoPlatform/x11/X11Reply.h"

#include "support/TempDir.h"

#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <memory>
#include <optional>
#include <vector>

namespace tarvo::test {

class X11Windows final {
public:
    X11Windows();
    ~X11Windows();
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;

    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_root; }
    xcb_atom_t atom(const char* name);
    std::vector<quint32> cardinals(xcb_window_t window, const char* property);
    bool hasWindowManager();

    // The shelf panel of process `pid`: its utility window.
    std::optional<xcb_window_t> panelOf(qint64 pid);
    // The tool tip window of process `pid`, such as the cursor badge.
    std::optional<xcb_window_t> toolTipOf(qint64 pid);
    // The window's title as the window manager reads it.
    QString name(xcb_window_t window);
    // Mapped, with something of its bounding shape left: what a user can see.
    bool isViewable(xcb_window_t window);
    QSize size(xcb_window_t window);
    // The window's place on the root window, in pixels.
    QRect rootGeometry(xcb_window_t window);
    std::vector<QRect> shape(xcb_window_t window, xcb_shape_kind_t kind);
    // Who holds the drag selection now; none between drags.
    xcb_window_t dragOwner();

    static bool covers(const std::vector<QRect>& rects, QPoint point);
    // The smallest rectangle holding all of them; empty for none.
    static QRect extent(const std::vector<QRect>& rects);

private:
    std::optional<xcb_window_t> find(xcb_window_t window, qint64 pid, xcb_atom_t type);

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};

// One tarvo process over a home of the test's own; killed if still running
// at the end.
class TarvoProcess final {
public:
    explicit TarvoProcess(const TempDir& home);
    ~TarvoProcess();
    TarvoProcess(const TarvoProcess&) = delete;
    TarvoProcess& operator=(const TarvoProcess&) = delete;

    QProcessEnvironment environment() const;
    // Extra variables for the process, set before `start`.
    void setVariable(const QString& name, const QString& value);
    void start();
    // A second start over the same home: its exit code.
    int startAgain();
    qint64 pid() const { return m_process.processId(); }
    // Sends SIGTERM; the exit code, -1 when it did not end normally in time.
    int terminate();
    QString itemsFolder() const { return m_home.file("data/Tarvo/Items"); }
    // The folders of the items stored so far, each holding its item.json.
    QStringList itemFolders() const;

    static QString program();

private:
    const TempDir& m_home;
    QProcess m_process;
    QProcessEnvironment m_extra;
};

// The running program's shelf opened as a second start opens it, once it
// has stopped unfolding: its window and that window's place in root pixels;
// none when it did not open in time.
struct OpenShelf {
    xcb_window_t panel = XCB_NONE;
    QRect frame;

    // The middle of the thumbnail of the item at `index` (0 the newest) of
    // `count`: the tiles stand side by side in the middle of the island, 56
    // points wide and 12 apart, 10 below its top.
    QPoint tile(int index, int count) const;
};
std::optional<OpenShelf> openShelf(TarvoProcess& tarvo, X11Windows& windows);

// A helper program that prints "ready X Y" once its window shows: the
// window's centre in root pixels, or none when it did not say in time.
std::optional<QPoint> readyPoint(QProcess& helper, int ms = 20000);

} // namespace tarvo::test
