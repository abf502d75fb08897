#pragma once

#include "TarvoPlatform/Pasteboard.h"
#include "TarvoPlatform/QtClipboard.h"

#include <QStringList>
#include <QTimer>

#include <xcb/xcb.h>

#include <optional>

namespace tarvo {

class X11Connection;

// The CLIPBOARD selection through Qt, with what it offers known ahead: each
// time another client takes the clipboard (XFixes tells), its type list
// (TARGETS) is asked for and read when it arrives, so that asking for the
// types never waits on an owner that may hang. Main thread only.
class X11Clipboard final : public Clipboard {
public:
    // How long an owner has to answer for its types.
    static constexpr int answerMilliseconds = 2000;

    // `connection` is not owned.
    explicit X11Clipboard(X11Connection& connection);
    ~X11Clipboard() override;
    X11Clipboard(const X11Clipboard&) = delete;
    X11Clipboard& operator=(const X11Clipboard&) = delete;

    std::unique_ptr<Pasteboard> contents() override { return m_qt.contents(); }
    bool writeText(const QString& text) override { return m_qt.writeText(text); }
    bool writeFileURLs(const QList<QUrl>& urls) override { return m_qt.writeFileURLs(urls); }
    // What we wrote ourselves, else the owner's last answer; none while it is
    // still to answer, after it did not in time, or when nobody owns it.
    std::optional<QStringList> types() override;

private:
    bool handle(const xcb_generic_event_t& event);
    void ask(xcb_timestamp_t time);

    X11Connection& m_connection;
    QtClipboard m_qt;
    xcb_window_t m_window = XCB_NONE;
    xcb_atom_t m_clipboard = XCB_NONE;
    xcb_atom_t m_targets = XCB_NONE;
    xcb_atom_t m_property = XCB_NONE;
    quint8 m_xfixesEvent = 0;
    int m_listener = 0;
    bool m_waiting = false;
    std::optional<QStringList> m_types;
    QTimer m_deadline;
};

} // namespace tarvo
