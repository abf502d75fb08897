#pragma once

#include "X11SelectionReader.h"

#include "TarvoPlatform/Pasteboard.h"
#include "TarvoPlatform/QtClipboard.h"

#include <QStringList>

#include <xcb/xcb.h>

#include <memory>
#include <optional>

class QMimeData;

namespace tarvo {

class X11Connection;

// The CLIPBOARD selection, written through Qt (which serves it for as long
// as we hold it) and read without ever waiting on its owner: each time
// another client takes the clipboard (XFixes tells), its type list (TARGETS)
// is asked for and taken when it arrives, and a paste reads the owner's data
// the same way, within a deadline. Main thread only.
class X11Clipboard final : public Clipboard {
public:
    // How long an owner has to answer for its types, and for each of its
    // data (counted again for every piece of a large answer).
    static constexpr int answerMilliseconds = 2000;

    // `connection` is not owned.
    explicit X11Clipboard(X11Connection& connection);
    ~X11Clipboard() override;
    X11Clipboard(const X11Clipboard&) = delete;
    X11Clipboard& operator=(const X11Clipboard&) = delete;

    // Qt's reading, which waits on the owner: `read` is the one that never
    // does.
    std::unique_ptr<Pasteboard> contents() override { return m_qt.contents(); }
    // What we wrote while we hold the clipboard; else one read of each type
    // the owner offers that the shelf knows, the owner's most preferred name
    // of it; nothing while its types are unknown or when it changes meanwhile.
    void read(const QObject* context, Reader done) override;
    bool writeText(const QString& text) override;
    bool writeFileURLs(const QList<QUrl>& urls) override;
    // What we wrote ourselves while we hold the clipboard, else the owner's
    // answer; none while it is still to answer, after it did not in time, or
    // when nobody owns it. Never asks Qt, whose idea of holding the clipboard
    // can lag behind the server's and whose reading waits on the owner.
    std::optional<QStringList> types() override;

private:
    bool handle(const xcb_generic_event_t& event);
    void ownerChanged(xcb_window_t owner, xcb_timestamp_t time);
    // After Qt took the clipboard with `written`: what it offers is known
    // without asking anyone.
    bool took(bool taken, std::unique_ptr<QMimeData> written);

    X11Connection& m_connection;
    QtClipboard m_qt;
    xcb_window_t m_window = XCB_NONE;
    xcb_atom_t m_clipboard = XCB_NONE;
    quint8 m_xfixesEvent = 0;
    int m_listener = 0;
    X11SelectionReader m_reader;
    // Which owner the answers are of: counted up at every change, so that a
    // read begun under one owner delivers nothing once another took over.
    quint64 m_owner = 0;
    xcb_timestamp_t m_ownerTime = XCB_CURRENT_TIME;
    // What we last wrote, while one of Qt's windows holds the clipboard.
    std::shared_ptr<const QMimeData> m_ours;
    bool m_waiting = false;
    // The owner's type names, as it listed them, and the shelf's types.
    QStringList m_targetNames;
    std::optional<QStringList> m_types;
};

} // namespace tarvo
