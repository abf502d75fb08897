#pragma once

#include "TarvoPlatform/DropPromises.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QStringList>

#include <xcb/xcb.h>

#include <map>
#include <optional>
#include <set>
#include <utility>

namespace tarvo {

class X11Connection;

// The receiving side of the direct-save protocol (XDS), for drops onto this
// process's windows: a source that offers "XdndDirectSave0" writes the file
// itself, to the place the receiver names, when asked at the drop.
//
// Qt handles the drop itself and ends it as soon as the drop handler returns,
// so the request to save is sent, and seen by the server, before the handler
// returns; the source reads it before it learns that the drop is over. The
// drop's source window and time are taken from Qt's own connection, where
// the drop messages arrive.
class X11DirectSave final : public DropPromises, private QAbstractNativeEventFilter {
public:
    // Installs a filter on the Qt application's native events.
    explicit X11DirectSave(X11Connection& connection);
    ~X11DirectSave() override;

    std::vector<std::shared_ptr<FilePromiseReceiver>> receivers(const QMimeData& data) override;

    struct Drop {
        xcb_window_t source = XCB_NONE;
        xcb_timestamp_t time = 0;
        bool dropped = false;
    };
    // The drag over this process's windows as its messages told it.
    const std::optional<Drop>& currentDrop() const { return m_drop; }

    // Asks the source of `drop` to save its file as `path`; `done` hears the
    // path or the reason it failed, once.
    using Done = std::function<void(const QString& path, const std::optional<QString>& error)>;
    void requestSave(const Drop& drop, const QString& path, Done done);

    // The name the source suggests for its file, from its window.
    QString suggestedName(xcb_window_t source);

    // The URI the protocol wants for a local path: "file://" + host + path.
    static QByteArray fileURI(const QString& path, const QByteArray& hostName);

private:
    struct Pending {
        QString path;
        xcb_timestamp_t time;
        Done done;
        QStringList before; // the files beside `path` when the save was asked for
    };
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    bool handle(const xcb_generic_event_t& event);
    void finish(xcb_atom_t property, const std::optional<QString>& error);
    // The names of the regular files in the folder of `path`.
    static QStringList filesIn(const QString& path);

    X11Connection& m_connection;
    xcb_window_t m_window; // receives the source's answers
    int m_listener = 0;
    std::optional<Drop> m_drop;
    std::map<xcb_atom_t, Pending> m_pending;
    // The drops (source and time) whose file was asked for.
    std::set<std::pair<xcb_window_t, xcb_timestamp_t>> m_asked;
    QObject m_context; // for timers that must not outlive this object
    int m_nextProperty = 0;
};

} // namespace tarvo
