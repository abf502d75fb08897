#pragma once

#include "AppcastItem.h"
#include "UpdateCheckResult.h"
#include "UpdateSchedule.h"
#include "UpdateTransport.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarvo {

// Runs update checks: fetches the feed, picks the newest release above the
// running build, downloads its archive beside its final place, and keeps it
// only when its length and Ed25519 signature match the feed. It installs
// nothing. One check runs at a time; a check asked for while one runs joins it.
// Lives on one thread with an event loop; everything is reported there.
class UpdateController final {
public:
    static constexpr double checkInterval = UpdateSchedule::checkInterval;
    // Bounds on what the server may send: a feed is a few kilobytes, and an
    // archive without a stated length is cut off here.
    static constexpr qint64 feedByteLimit = qint64(16) << 20;
    static constexpr qint64 archiveByteLimit = qint64(512) << 20;

    using Completion = std::function<void(const UpdateCheckResult& result)>;

    // `feedURL` and every archive address must be https. `downloadsDirectory`
    // absent: the user's Downloads folder, else the per-user work root.
    // `publicKeyBase64` is the Ed25519 key that must have signed the archive
    // (the build's own is AppcastSignature::publicKeyBase64()); an empty or
    // undecodable key stages nothing.
    UpdateController(QUrl feedURL, qint64 currentBuild, std::unique_ptr<UpdateTransport> transport,
                     std::optional<QString> downloadsDirectory, QString publicKeyBase64);
    ~UpdateController();
    UpdateController(const UpdateController&) = delete;
    UpdateController& operator=(const UpdateController&) = delete;

    // The item with the greatest build above the running one; the first of
    // equal builds in feed order; none when nothing is newer.
    std::optional<AppcastItem> newestItem(const std::vector<AppcastItem>& items) const;

    // Starts a check, or joins the one running. `done` is called once with the
    // result on this thread, never from inside this call; it is dropped when
    // `context` (if given) is destroyed first. Destroying the controller stops
    // the check, removes its partial download and calls nobody.
    void check(const QObject* context, Completion done);
    bool isChecking() const { return m_check != nullptr; }

    // For tests: the cut-off for an archive whose length the feed does not state.
    void setArchiveByteLimit(qint64 bytes) { m_archiveByteLimit = bytes; }

private:
    struct Check;
    struct Waiter {
        QPointer<const QObject> context;
        bool hasContext;
        Completion done;
    };

    void startFeed();
    void feedFinished(const std::optional<FetchFailure>& failure);
    void startArchive(const AppcastItem& item);
    bool archiveData(const QByteArray& piece);
    void archiveFinished(const std::optional<FetchFailure>& failure);
    void stage();
    // Ends the check: stops the transfer, removes what was not staged, and
    // reports to every waiter from the event loop.
    void finish(UpdateCheckResult result);
    UpdateCheckResult failedFetch(const FetchFailure& failure);

    QUrl m_feedURL;
    qint64 m_currentBuild;
    std::unique_ptr<UpdateTransport> m_transport;
    std::optional<QString> m_downloadsDirectory;
    QString m_publicKeyBase64;
    qint64 m_archiveByteLimit = archiveByteLimit;
    std::vector<Waiter> m_waiters;
    std::unique_ptr<Check> m_check;
    // Context of the calls posted to the event loop; gone with the controller.
    std::unique_ptr<QObject> m_guard;
};

} // namespace tarvo
