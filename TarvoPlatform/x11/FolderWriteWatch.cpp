#include "FolderWriteWatch.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {

namespace {

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

FolderWriteWatch::FolderWriteWatch(QString folder, Ignored ignored, Timing timing)
    : m_folder(std::move(folder)), m_ignored(std::move(ignored)), m_timing(timing),
      m_quietSince(nowMs()) {
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify >= 0 &&
        ::inotify_add_watch(m_inotify, QFile::encodeName(m_folder).constData(),
                            IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_MODIFY | IN_CREATE |
                                IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB) < 0) {
        ::close(m_inotify);
        m_inotify = -1;
    }
    if (m_inotify >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this,
                         [this] { readEvents(); });
    }
    // Without inotify the folder is judged by what it holds alone.
}

FolderWriteWatch::~FolderWriteWatch() {
    m_notifier.reset();
    if (m_inotify >= 0)
        ::close(m_inotify);
}

void FolderWriteWatch::readEvents() {
    if (m_inotify < 0)
        return;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t length = ::read(m_inotify, buffer, sizeof buffer);
        if (length <= 0)
            return;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                m_openFiles = 0; // no longer known: what the folder holds decides
                m_quietSince = nowMs();
                continue;
            }
            // The folder itself, and folders below it, are opened and closed
            // by anyone who lists them, this watch included.
            if (event->len == 0 ||
                ((event->mask & IN_ISDIR) && (event->mask & (IN_OPEN | IN_CLOSE_NOWRITE))))
                continue;
            if (m_ignored && m_ignored(QFile::decodeName(event->name)))
                continue;
            m_quietSince = nowMs();
            if (event->mask & IN_ISDIR)
                continue;
            if (event->mask & IN_OPEN)
                ++m_openFiles;
            if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE))
                m_openFiles = std::max(0, m_openFiles - 1);
        }
    }
}

void FolderWriteWatch::whenSettled(std::function<void()> settled) {
    m_settled = std::move(settled);
    m_lastSnapshot = snapshot(m_folder, m_ignored);
    m_timer = std::make_unique<QTimer>();
    m_timer->setInterval(m_timing.pollMilliseconds);
    QObject::connect(m_timer.get(), &QTimer::timeout, this, [this] { poll(); });
    m_timer->start();
}

void FolderWriteWatch::poll() {
    readEvents();
    bool content = false;
    const QByteArray now = snapshot(m_folder, m_ignored, &content);
    if (now != m_lastSnapshot) {
        m_lastSnapshot = now;
        m_quietSince = nowMs();
    }
    if (m_openFiles > 0)
        return;
    const int quiet = content ? m_timing.quietMilliseconds : m_timing.quietWhileEmptyMilliseconds;
    if (nowMs() - m_quietSince < quiet)
        return;
    m_timer->stop();
    if (auto settled = std::exchange(m_settled, nullptr))
        settled();
}

QByteArray FolderWriteWatch::snapshot(const QString& folder, const Ignored& ignored,
                                      bool* holdsContent) {
    if (holdsContent)
        *holdsContent = false;
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(folder);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = base.relativeFilePath(path);
        if (ignored && !relative.contains(u'/') && ignored(relative))
            continue;
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        if (holdsContent && S_ISREG(st.st_mode) && st.st_size > 0)
            *holdsContent = true;
        lines.append(relative + u'\t' + QString::number(st.st_mode) + u'\t' +
                     QString::number(st.st_size) + u'\t' + QString::number(st.st_mtim.tv_sec) +
                     u'.' + QString::number(st.st_mtim.tv_nsec));
    }
    lines.sort();
    return lines.join(u'\n').toUtf8();
}

} // namespace tarvo
