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
#include <QStandardPaths>
#include <QTimer>
#include <QUuid>

#include <cerrno>
#include <fcntl.h>
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

// The state of the check under way. Dropping it stops the transfer and removes
// a download that was not moved into place.
struct UpdateController::Check {
    std::unique_ptr<FetchTask> task;
    QByteArray feed;
    AppcastItem item;
    std::optional<Ed25519PublicKey> key;
    QString target;    // the archive's intended path
    QString temporary; // where it is written first; empty once moved
    int fd = -1;
    qint64 received = 0;
    qint64 limit = 0;

    ~Check() {
        task.reset();
        if (fd >= 0)
            ::close(fd);
        if (!temporary.isEmpty())
            ::unlink(QFile::encodeName(temporary).constData());
    }
};

UpdateController::UpdateController(QUrl feedURL, qint64 currentBuild,
                                   std::unique_ptr<UpdateTransport> transport,
                                   std::optional<QString> downloadsDirectory,
                                   QString publicKeyBase64)
    : m_feedURL(std::move(feedURL)), m_currentBuild(currentBuild),
      m_transport(std::move(transport)), m_downloadsDirectory(std::move(downloadsDirectory)),
      m_publicKeyBase64(std::move(publicKeyBase64)), m_guard(std::make_unique<QObject>()) {}

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
    startFeed();
}

void UpdateController::startFeed() {
    if (!isHttps(m_feedURL)) {
        Log::updates().error(
            QStringLiteral("refusing the update feed at %1: not https").arg(shown(m_feedURL)));
        finish(UpdateCheckResult::failed(L10n::aboutUpdateInsecure()));
        return;
    }
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
    check.limit = item.length >= 1 ? item.length : m_archiveByteLimit;
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

void UpdateController::stage() {
    Check& check = *m_check;
    if (check.item.length >= 1 && check.received != check.item.length) {
        Log::updates().error(QStringLiteral("appcast length mismatch; refusing the download"));
        finish(UpdateCheckResult::failed(L10n::aboutUpdateMismatch()));
        return;
    }
    const int fd = std::exchange(check.fd, -1);
    if (::fdatasync(fd) != 0 || ::close(fd) != 0) {
        Log::updates().notice(
            QStringLiteral("update check failed: ") +
            FileError(QStringLiteral("write"), check.target, errno).description());
        finish(UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
        return;
    }

    // The signature covers the whole archive at once, so it is read through a
    // mapping rather than into memory.
    bool verified = false;
    {
        QFile file(check.temporary);
        if (file.open(QIODevice::ReadOnly)) {
            const qint64 size = file.size();
            if (size == 0) {
                verified = AppcastSignature::verify(QByteArrayView(), check.item, check.key);
            } else if (const uchar* bytes = file.map(0, size)) {
                verified = AppcastSignature::verify(
                    QByteArrayView(reinterpret_cast<const char*>(bytes), size), check.item,
                    check.key);
                file.unmap(const_cast<uchar*>(bytes));
            }
        }
    }
    if (!verified) {
        Log::updates().error(
            QStringLiteral("appcast signature did not verify; refusing the download"));
        finish(UpdateCheckResult::failed(L10n::aboutUpdateUnverified()));
        return;
    }

    const QString folder = check.target.section(u'/', 0, -2);
    const QString name = check.target.section(u'/', -1);
    QString stagedAt;
    try {
        stagedAt = UpdateStaging::moveIntoPlace(check.temporary, folder, name);
    } catch (const FileError& error) {
        Log::updates().notice(QStringLiteral("update check failed: ") + error.description());
        finish(UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
        return;
    }
    check.temporary.clear();
    finish(UpdateCheckResult::updateReady(check.item, stagedAt));
}

UpdateCheckResult UpdateController::failedFetch(const FetchFailure& failure) {
    Log::updates().notice(QStringLiteral("update check failed: ") + failure.description);
    if (failure.reason == FetchFailure::Reason::insecureRedirect)
        return UpdateCheckResult::failed(L10n::aboutUpdateInsecure());
    return UpdateCheckResult::failed(L10n::aboutUpdateFailed());
}

void UpdateController::finish(UpdateCheckResult result) {
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
