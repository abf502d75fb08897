#pragma once

#include "AppcastItem.h"
#include "AppcastSignature.h"
#include "UpdateCheckResult.h"
#include "UpdateSchedule.h"
#include "UpdateTransport.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace tarvo {

// Runs update checks: fetches the feed, picks the newest release above the
// running build, downloads its archive beside its final place, and keeps it
// only when its length and Ed25519 signature match the feed. It installs
// nothing. One check runs at a time; a check asked for while one runs joins it.
// Every request has a deadline of its own, so no server holds a check for
// ever. The flush, verification and move into place of a finished download
// run on a thread of their own. Lives on one thread with an event loop;
// everything is reported there.
class UpdateController final {
public:
    static constexpr double checkInterval = UpdateSchedule::checkInterval;
    // Bounds on what the server may send: a feed is a few kilobytes, and an
    // archive is cut off here, or at its stated length when that is smaller.
    // The feed is not signed, so a larger stated length is refused unfetched.
    static constexpr qint64 feedByteLimit = qint64(16) << 20;
    static constexpr qint64 archiveByteLimit = qint64(512) << 20;

    // How long one request may take in all, whatever arrives meanwhile: the
    // floor, plus the request's byte cap at the slowest rate still served.
    struct RequestDeadline {
        std::chrono::milliseconds floor{30000};
        qint64 floorBytesPerSecond = 256 * 1024;

        std::chrono::milliseconds forCap(qint64 bytes) const;
    };

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
    void setRequestDeadline(RequestDeadline deadline) { m_deadline = deadline; }
    // For tests: called on the staging thread before the download is verified,
    // with the flag that is set when the check is dropped meanwhile.
    using StagingHook = std::function<void(const std::atomic<bool>& dropped)>;
    void setStagingHook(StagingHook hook) { m_stagingHook = std::move(hook); }

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
    // Starts the deadline of the request about to be made, for `cap` bytes.
    void armDeadline(const QString& what, qint64 cap);
    void deadlinePassed();
    void stage();
    struct Staged;
    static Staged stageOnDisk(int fd, const QString& temporary, const QString& target,
                              const AppcastItem& item, const std::optional<Ed25519PublicKey>& key,
                              const StagingHook& hook, const std::atomic<bool>& cancelled);
    void staged(quint64 generation, const Staged& outcome);
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
    RequestDeadline m_deadline;
    StagingHook m_stagingHook;
    quint64 m_generation = 0;
    std::vector<Waiter> m_waiters;
    std::unique_ptr<Check> m_check;
    // Context of the calls posted to the event loop; gone with the controller.
    std::unique_ptr<QObject> m_guard;
    std::unique_ptr<QTimer> m_deadlineTimer;
};

} // namespace tarvo
