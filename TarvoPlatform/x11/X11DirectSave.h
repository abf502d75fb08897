#pragma once

#include "FolderWriteWatch.h"
#include "X11SelectionReader.h"

#include "TarvoPlatform/DropPromises.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QStringList>

#include <xcb/xcb.h>

#include <map>
#include <memory>
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
        // Tells drops apart: some sources give every drop the time
        // CurrentTime, and a window of a source that ended may come back
        // under the same id.
        quint64 serial = 0;
    };
    // The drag over this process's windows as its messages told it.
    const std::optional<Drop>& currentDrop() const { return m_drop; }

    // Asks the source of `drop` to save its file as `path`; `done` hears the
    // path or the reason it failed, once, when the file is whole. A source
    // that answers success but saves under a name of its own into the
    // folder of `path` (a fresh folder) has saved what it wrote there: one
    // file or one folder; anything else fails and is removed again.
    //
    // `bytesOffered` tells that the drop offers "application/octet-stream":
    // then the answer is waited for here, while the drop is still under way,
    // and a source that cannot save the file itself ("F") is taken at its
    // word that those bytes are the file, read from it. A source that hands
    // over nothing, or stops handing over its bytes, fails the save.
    using Done = std::function<void(const QString& path, const std::optional<QString>& error)>;
    void requestSave(const Drop& drop, const QString& path, Done done, bool bytesOffered = false);

    // How long the answer, and the bytes of a source that cannot save, are
    // waited for while the drop is under way.
    static constexpr int answerWithinDropMilliseconds = 1500;
    // How long a source that answered success may take to finish writing.
    static constexpr int finishWritingMilliseconds = 30000;

    // The name the source suggests for its file, from its window.
    QString suggestedName(xcb_window_t source);

    // The URI the protocol wants for a local path: "file://" + host + path.
    static QByteArray fileURI(const QString& path, const QByteArray& hostName);

private:
    struct Pending {
        QString path;
        xcb_timestamp_t time;
        Done done;
        QStringList before; // the entries beside `path` when the save was asked for
        // Watches the folder from before the request, so that no write is missed.
        std::unique_ptr<FolderWriteWatch> watch;
        bool bytesOffered = false;
        bool answered = false;
        bool reading = false; // the bytes offered instead of the file
    };
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    bool handle(const xcb_generic_event_t& event);
    void answered(xcb_atom_t property, const QByteArray& answer);
    // The bytes a source that cannot save handed over: empty when none.
    void bytesRead(xcb_atom_t property, const QByteArray& bytes);
    // The source has finished writing: what it wrote decides.
    void settled(xcb_atom_t property);
    // Ends the save waiting on `property`: none when there is no such save.
    std::optional<Pending> take(xcb_atom_t property);
    // A failure removes what the source left in the folder.
    void fail(xcb_atom_t property, QString reason);
    void succeed(xcb_atom_t property, QString file);
    // The names of the entries in the folder of `path`, links included.
    static QStringList entriesBeside(const QString& path);

    X11Connection& m_connection;
    xcb_window_t m_window; // receives the source's answers
    int m_listener = 0;
    // Reads the bytes of a source that cannot save the file itself.
    X11SelectionReader m_bytes;
    std::optional<Drop> m_drop;
    std::map<xcb_atom_t, Pending> m_pending;
    // The drops whose file was asked for, by serial.
    std::set<quint64> m_asked;
    quint64 m_drops = 0;
    QObject m_context; // for timers that must not outlive this object
    int m_nextProperty = 0;
};

} // namespace tarvo
