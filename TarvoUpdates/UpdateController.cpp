#include "UpdateController.h"

#include "AppcastError.h"
#include "AppcastParser.h"
#include "AppcastSignature.h"
#include "UpdateStaging.h"

#include "TarvoCore/AtomicFile.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Log.h"
#include "TarvoPlatform/WorkRoot.h"

#include <QFile>
#include <QMetaObject>
#include <QStandardPaths>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tarvo {

namespace {

bool isHttps(const QUrl& url) {
    return url.isValid() && url.scheme() == u"https" && !url.host().isEmpty();
}

QString shown(const QUrl& url) {
    return url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

// Text from the feed as one log line: control characters cannot start a new
// line that looks like ours.
QString printable(const QString& text) {
    QString result = text.left(UpdateStaging::maxVersionLength * 2);
    for (QChar& c : result) {
        if (!c.isPrint())
            c = QChar::ReplacementCharacter;
    }
    return result;
}

} // namespace

// What the staging thread found, for the controller's thread to report.
struct UpdateController::Staged {
    enum class Kind { staged, unverified, failed };
    Kind kind = Kind::failed;
    QString stagedAt;    // staged
    QString description; // failed: the cause, for the log
};

// Flushes, verifies and moves the finished download into place, away from
// the controller's thread: up to the archive limit is read, and an archive
// of the same name already there is compared whole. Removes the temporary
// file unless it was moved; stops before the move once `cancelled` is set.
UpdateController::Staged
UpdateController::stageOnDisk(int fd, const QString& temporary, const QString& target,
                              const AppcastItem& item, const std::optional<Ed25519PublicKey>& key,
                              const StagingHook& hook, const std::atomic<bool>& cancelled) {
    const QByteArray temporaryName = QFile::encodeName(temporary);
    const auto failed = [&](Staged::Kind kind, QString description) {
        ::unlink(temporaryName.constData());
        return Staged{kind, QString(), std::move(description)};
    };
    if (::fdatasync(fd) != 0) {
        const int code = errno;
        ::close(fd);
        return failed(Staged::Kind::failed,
                      FileError(QStringLiteral("write"), target, code).description());
    }
    if (::close(fd) != 0)
        return failed(Staged::Kind::failed,
                      FileError(QStringLiteral("write"), target, errno).description());
    if (hook)
        hook(cancelled);

    // The signature covers the whole archive at once, so it is read through a
    // mapping rather than into memory.
    bool verified = false;
    {
        QFile file(temporary);
        if (file.open(QIODevice::ReadOnly)) {
            const qint64 size = file.size();
            if (size == 0) {
                verified = AppcastSignature::verify(QByteArrayView(), item, key);
            } else if (const uchar* bytes = file.map(0, size)) {
                verified = AppcastSignature::verify(
                    QByteArrayView(reinterpret_cast<const char*>(bytes), size), item, key);
                file.unmap(const_cast<uchar*>(bytes));
            }
        }
    }
    if (!verified)
        return failed(Staged::Kind::unverified, QString());
    if (cancelled.load())
        return failed(Staged::Kind::failed, QString());

    try {
        return Staged{Staged::Kind::staged,
                      UpdateStaging::moveIntoPlace(temporary, target.section(u'/', 0, -2),
                                                   target.section(u'/', -1)),
                      QString()};
    } catch (const FileError& error) {
        return failed(Staged::Kind::failed, error.description());
    }
}

// The state of the check under way. Dropping it stops the transfer and removes
// a download that was not moved into place, or has the staging thread do so.
struct UpdateController::Check {
    quint64 generation = 0;
    std::unique_ptr<FetchTask> task;
    QByteArray feed;
    AppcastItem item;
    std::optional<Ed25519PublicKey> key;
    QString target;    // the archive's intended path
    QString temporary; // where it is written first; empty once handed to staging
    int fd = -1;
    qint64 received = 0;
    qint64 limit = 0;
    QString deadlineWhat; // "the feed", "the download"
    std::chrono::milliseconds deadline{0};
    std::thread staging;
    std::atomic<bool> cancelled{false};

    ~Check() {
        task.reset();
        if (staging.joinable()) {
            // The staging thread removes what it has not moved into place.
            cancelled.store(true);
            staging.join();
        }
        if (fd >= 0)
            ::close(fd);
        if (!temporary.isEmpty())
            ::unlink(QFile::encodeName(temporary).constData());
    }
};

std::chrono::milliseconds UpdateController::RequestDeadline::forCap(qint64 bytes) const {
    const qint64 rate = std::max<qint64>(floorBytesPerSecond, 1);
    return floor + std::chrono::milliseconds(bytes / rate * 1000 + (bytes % rate) * 1000 / rate);
}

UpdateController::UpdateController(QUrl feedURL, qint64 currentBuild,
                                   std::unique_ptr<UpdateTransport> transport,
                                   std::optional<QString> downloadsDirectory,
                                   QString publicKeyBase64)
    : m_feedURL(std::move(feedURL)), m_currentBuild(currentBuild),
      m_transport(std::move(transport)), m_downloadsDirectory(std::move(downloadsDirectory)),
      m_publicKeyBase64(std::move(publicKeyBase64)), m_guard(std::make_unique<QObject>()),
      m_deadlineTimer(std::make_unique<QTimer>()) {
    m_deadlineTimer->setSingleShot(true);
    QObject::connect(m_deadlineTimer.get(), &QTimer::timeout, m_guard.get(),
                     [this] { deadlinePassed(); });
}

UpdateController::~UpdateController() {
    // The transfer goes before the transport that carries it.
    m_check.reset();
}

std::optional<AppcastItem>
UpdateController::newestItem(const std::vector<AppcastItem>& items) const {
    const AppcastItem* best = nullptr;
    for (const AppcastItem& item : items) {
        if (item.build > m_currentBuild && (!best || item.build > best->build))
            best = &item;
    }
    if (!best)
        return std::nullopt;
    return *best;
}

void UpdateController::check(const QObject* context, Completion done) {
    m_waiters.push_back(Waiter{context, context != nullptr, std::move(done)});
    if (m_check)
        return;
    m_check = std::make_unique<Check>();
    m_check->generation = ++m_generation;
    startFeed();
}

void UpdateController::startFeed() {
    if (!isHttps(m_feedURL)) {
        Log::updates().error(
            QStringLiteral("refusing the update feed at %1: not https").arg(shown(m_feedURL)));
        finish(UpdateCheckResult::failed(L10n::aboutUpdateInsecure()));
        return;
    }
    armDeadline(QStringLiteral("the feed"), feedByteLimit);
    m_check->task = m_transport->fetch(
        m_feedURL,
        [this](const QByteArray& piece) {
            if (m_check->feed.size() + piece.size() > feedByteLimit) {
                Log::updates().notice(
                    QStringLiteral("update check failed: the feed is larger than %1 bytes")
                        .arg(feedByteLimit));
                finish(UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
                return false;
            }
            m_check->feed.append(piece);
            return true;
        },
        [this](const std::optional<FetchFailure>& failure) { feedFinished(failure); });
}

void UpdateController::feedFinished(const std::optional<FetchFailure>& failure) {
    if (failure) {
        finish(failedFetch(*failure));
        return;
    }
    std::vector<AppcastItem> items;
    try {
        items = AppcastParser::parse(m_check->feed);
    } catch (const AppcastError& error) {
        Log::updates().notice(QStringLiteral("update check failed: ") + error.description());
        finish(UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
        return;
    }
    const std::optional<AppcastItem> item = newestItem(items);
    if (!item) {
        finish(UpdateCheckResult::upToDate());
        return;
    }
    startArchive(*item);
}

void UpdateController::startArchive(const AppcastItem& item) {
    Check& check = *m_check;
    check.item = item;
    if (!isHttps(item.url)) {
        Log::updates().error(
            QStringLiteral("refusing the download at %1: not https").arg(shown(item.url)));
        finish(UpdateCheckResult::failed(L10n::aboutUpdateInsecure()));
        return;
    }
    const std::optional<QString> name = UpdateStaging::fileName(item);
    if (!name) {
        Log::updates().error(QStringLiteral("appcast names an unsafe file (version \u201c%1\u201d, "
                                            "address %2); refusing the download")
                                 .arg(printable(item.shortVersion), shown(item.url)));
        finish(UpdateCheckResult::failed(L10n::aboutUpdateUnsafeName()));
        return;
    }
    if (item.length > m_archiveByteLimit) {
        Log::updates().error(
            QStringLiteral(
                "the feed states a download of %1 bytes, more than the %2 allowed; refusing it")
                .arg(item.length)
                .arg(m_archiveByteLimit));
        finish(UpdateCheckResult::failed(L10n::aboutUpdateTooLarge()));
        return;
    }
    check.key = Ed25519PublicKey::fromBase64(m_publicKeyBase64);
    if (!check.key) {
        Log::updates().error(
            QStringLiteral("no valid update signing key in this build; refusing the download"));
        finish(UpdateCheckResult::failed(L10n::aboutUpdateUnverified()));
        return;
    }

    QString folder;
    try {
        folder = UpdateStaging::downloadsDirectory(
            m_downloadsDirectory,
            QStandardPaths::writableLocation(QStandardPaths::DownloadLocation),
            [] { return WorkRoot::prepare(); });
    } catch (const FileError& error) {
        Log::updates().notice(QStringLiteral("update check failed: ") + error.description());
        finish(UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
        return;
    }
    check.target = folder + u'/' + *name;
    const QString temporary = AtomicFile::temporaryPath(check.target, QUuid::createUuid());
    check.fd = ::open(QFile::encodeName(temporary).constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (check.fd < 0) {
        Log::updates().notice(
            QStringLiteral("update check failed: ") +
            FileError(QStringLiteral("write"), check.target, errno).description());
        finish(UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
        return;
    }
    check.temporary = temporary;
    check.limit = item.length >= 1 ? std::min(item.length, m_archiveByteLimit) : m_archiveByteLimit;
    armDeadline(QStringLiteral("the download"), check.limit);
    check.task = m_transport->fetch(
        item.url, [this](const QByteArray& piece) { return archiveData(piece); },
        [this](const std::optional<FetchFailure>& failure) { archiveFinished(failure); });
}

bool UpdateController::archiveData(const QByteArray& piece) {
    Check& check = *m_check;
    check.received += piece.size();
    if (check.received > check.limit) {
        // Cut off at once: a server that sends more than it announced, or
        // sends without end, fills no disk.
        if (check.item.length >= 1) {
            Log::updates().error(QStringLiteral("appcast length mismatch; refusing the download"));
            finish(UpdateCheckResult::failed(L10n::aboutUpdateMismatch()));
        } else {
            Log::updates().error(
                QStringLiteral("the download passed %1 bytes without a stated length; refusing it")
                    .arg(check.limit));
            finish(UpdateCheckResult::failed(L10n::aboutUpdateTooLarge()));
        }
        return false;
    }
    const char* p = piece.constData();
    qsizetype left = piece.size();
    while (left > 0) {
        const ssize_t n = ::write(check.fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Log::updates().notice(
                QStringLiteral("update check failed: ") +
                FileError(QStringLiteral("write"), check.target, n < 0 ? errno : ENOSPC)
                    .description());
            finish(UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

void UpdateController::archiveFinished(const std::optional<FetchFailure>& failure) {
    if (failure) {
        finish(failedFetch(*failure));
        return;
    }
    stage();
}

void UpdateController::armDeadline(const QString& what, qint64 cap) {
    m_check->deadlineWhat = what;
    m_check->deadline = m_deadline.forCap(cap);
    m_deadlineTimer->start(m_check->deadline);
}

void UpdateController::deadlinePassed() {
    if (!m_check)
        return;
    // A server that keeps sending a trickle passes every idle time-out; the
    // check ends here as any network failure does, and a later check starts
    // afresh instead of joining this one.
    finish(failedFetch(FetchFailure{FetchFailure::Reason::timedOut,
                                    QStringLiteral("%1 did not arrive within %2 s")
                                        .arg(m_check->deadlineWhat)
                                        .arg(double(m_check->deadline.count()) / 1000.0)}));
}

void UpdateController::stage() {
    Check& check = *m_check;
    m_deadlineTimer->stop();
    check.task.reset();
    if (check.item.length >= 1 && check.received != check.item.length) {
        Log::updates().error(QStringLiteral("appcast length mismatch; refusing the download"));
        finish(UpdateCheckResult::failed(L10n::aboutUpdateMismatch()));
        return;
    }
    // From here the staging thread owns the file and its descriptor.
    const int fd = std::exchange(check.fd, -1);
    const QString temporary = std::exchange(check.temporary, QString());
    const quint64 generation = check.generation;
    QObject* receiver = m_guard.get();
    check.staging =
        std::thread([this, fd, temporary, target = check.target, item = check.item, key = check.key,
                     hook = m_stagingHook, &cancelled = check.cancelled, generation, receiver] {
            Staged outcome = stageOnDisk(fd, temporary, target, item, key, hook, cancelled);
            // The receiver outlives this thread: the check joins it before the
            // controller lets the receiver go, and a report still queued then is
            // dropped with it.
            QMetaObject::invokeMethod(
                receiver,
                [this, generation, outcome = std::move(outcome)] { staged(generation, outcome); },
                Qt::QueuedConnection);
        });
}

void UpdateController::staged(quint64 generation, const Staged& outcome) {
    if (!m_check || m_check->generation != generation)
        return;
    switch (outcome.kind) {
    case Staged::Kind::staged:
        finish(UpdateCheckResult::updateReady(m_check->item, outcome.stagedAt));
        return;
    case Staged::Kind::unverified:
        Log::updates().error(
            QStringLiteral("appcast signature did not verify; refusing the download"));
        finish(UpdateCheckResult::failed(L10n::aboutUpdateUnverified()));
        return;
    case Staged::Kind::failed:
        Log::updates().notice(QStringLiteral("update check failed: ") + outcome.description);
        finish(UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
        return;
    }
}

UpdateCheckResult UpdateController::failedFetch(const FetchFailure& failure) {
    Log::updates().notice(QStringLiteral("update check failed: ") + failure.description);
    if (failure.reason == FetchFailure::Reason::insecureRedirect)
        return UpdateCheckResult::failed(L10n::aboutUpdateInsecure());
    return UpdateCheckResult::failed(L10n::aboutUpdateFailed());
}

void UpdateController::finish(UpdateCheckResult result) {
    m_deadlineTimer->stop();
    m_check.reset();
    // Waiters hear from the event loop, so none of them runs inside the
    // transport's own signal, and a waiter may start the next check at once.
    QTimer::singleShot(0, m_guard.get(),
                       [waiters = std::exchange(m_waiters, {}), result = std::move(result)] {
                           for (const Waiter& waiter : waiters) {
                               if (!waiter.hasContext || waiter.context)
                                   waiter.done(result);
                           }
                       });
}

} // namespace tarvo
