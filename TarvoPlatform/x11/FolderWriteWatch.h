#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace tarvo {

// Watches a folder that another program writes into, from before it is
// asked to write, and tells when what it wrote is whole: nothing in the
// folder is open any more and nothing below it has changed for a quiet
// while. A source may answer that it saved a file before it has written a
// byte of it, and writing may not have begun yet when the answer comes, so
// an empty folder or an empty file is given a longer while than content.
// Main thread only.
class FolderWriteWatch final : public QObject {
public:
    struct Timing {
        int pollMilliseconds = 40;
        int quietMilliseconds = 250;
        int quietWhileEmptyMilliseconds = 2000;
    };

    // Names in the folder that are not the writer's, left out of every look.
    using Ignored = std::function<bool(const QString& name)>;

    FolderWriteWatch(QString folder, Ignored ignored, Timing timing);
    FolderWriteWatch(QString folder, Ignored ignored)
        : FolderWriteWatch(std::move(folder), std::move(ignored), Timing{}) {}
    ~FolderWriteWatch() override;
    FolderWriteWatch(const FolderWriteWatch&) = delete;
    FolderWriteWatch& operator=(const FolderWriteWatch&) = delete;

    // Calls `settled` once, on the main thread, when the folder has settled;
    // watching goes on until then. May be called once.
    void whenSettled(std::function<void()> settled);

    // What was written: the relative paths, sizes and times of every entry
    // below the folder but the ignored ones, in a stable order; empty for an
    // empty folder. `holdsContent` tells whether any file in it has a byte.
    static QByteArray snapshot(const QString& folder, const Ignored& ignored,
                               bool* holdsContent = nullptr);

private:
    void readEvents();
    void poll();

    QString m_folder;
    Ignored m_ignored;
    Timing m_timing;
    int m_inotify = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<QTimer> m_timer;
    // Files in the folder that some program opened and has not closed.
    int m_openFiles = 0;
    QByteArray m_lastSnapshot;
    qint64 m_quietSince = 0;
    std::function<void()> m_settled;
};

} // namespace tarvo
