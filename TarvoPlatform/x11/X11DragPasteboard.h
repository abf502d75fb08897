#pragma once

#include "TarvoPlatform/Pasteboard.h"

#include <QHash>
#include <QSet>
#include <QTimer>

#include <xcb/xcb.h>

#include <optional>

namespace tarvo {

class X11Connection;

// The drag pasteboard as another application's drag shows it: each new owner
// of the drag selection is new content, and its types come from the owner's
// type list, else from asking the owner for its targets, else from asking it
// for one small accepted type (a URI list, then text); a direct-save source
// is known by the file name on its window. The change count moves
// only once the types of the new content are known (or the search for them
// gave up), so that no one sees new content without its types. Drags this
// process starts, and the selection going away, are not new content. The
// data itself is never read.
class X11DragPasteboard final : public Pasteboard {
public:
    // How long the search for a drag's types may take. A source that answers
    // ends it at once; one that stays silent, or is slow on a busy machine,
    // is waited for this long.
    static constexpr int typeSearchMilliseconds = 1000;
    // How often the probes are asked again when a source refused them all;
    // `probeRoundPause` apart.
    static constexpr int probeRounds = 4;
    static constexpr int probeRoundPause = 30;
    // The most types of a drag that are looked at, as Qt's own drop code
    // does: a list can hold thousands of atoms, each a name to ask for.
    static constexpr int maxTypes = 100;

    explicit X11DragPasteboard(X11Connection& connection);
    ~X11DragPasteboard() override;

    qint64 changeCount() const override { return m_changeCount; }
    // Told as soon as a new drag's types are known.
    void setChangeHandler(ChangeHandler handler) override { m_changed = std::move(handler); }
    std::optional<QStringList> types() const override { return m_types; }
    std::optional<QByteArray> data(const QString&) const override { return std::nullopt; }
    std::optional<QString> string(const QString&) const override { return std::nullopt; }
    QList<QUrl> readURLs(bool) const override { return {}; }
    std::vector<std::shared_ptr<FilePromiseReceiver>> readFilePromiseReceivers() const override {
        return {};
    }

    // The owner's atom names as last published, for tests and diagnostics.
    const QStringList& targetNames() const { return m_targetNames; }

private:
    enum class Step { none, targets, probeURIs, probeText, waiting };
    struct Search {
        xcb_window_t owner = XCB_NONE;
        xcb_timestamp_t time = 0;
        // The time the requests carry: the owner's, then a later moment of
        // the drag when the source refused it.
        xcb_timestamp_t stamp = 0;
        int round = 0;
        Step step = Step::none;
        QStringList found;
        bool directSave = false; // the owner names a file it would save itself
    };

    bool handle(const xcb_generic_event_t& event);
    void ownerChanged(xcb_window_t owner, xcb_timestamp_t time);
    void typeListChanged(xcb_window_t window, xcb_timestamp_t time);
    void selectionReplied(xcb_atom_t property, xcb_timestamp_t time);
    void directSaveOffered(xcb_window_t window, xcb_timestamp_t time);
    void finishSearch(QStringList targetNames);
    void request(Step step, const char* target);
    // The probes found nothing: asks them again a little later, at the
    // drag's latest moment, or gives up after the last round.
    void probeAgainOrFinish();
    std::optional<QStringList> readTypeList(xcb_window_t window);
    QStringList atomList(const QByteArray& value);
    void publish(QStringList targetNames);

    X11Connection& m_connection;
    int m_listener = 0;
    quint8 m_xfixesEvent = 0;
    qint64 m_changeCount = 0;
    std::optional<QStringList> m_types;
    QStringList m_targetNames;
    std::optional<Search> m_search;
    QTimer m_deadline;
    QSet<xcb_window_t> m_watched;
    QHash<xcb_window_t, xcb_timestamp_t> m_typeListChanged;
    ChangeHandler m_changed;
};

} // namespace tarvo
