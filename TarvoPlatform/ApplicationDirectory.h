#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QFileSystemWatcher;
class QObject;

namespace tarvo {

// The installed applications, from the ".desktop" files of the applications
// folders. An application's identifier is its desktop-file id: the file's
// path below its applications folder, "/" turned into "-", without
// ".desktop". The folders are read on a worker thread of the directory's
// own, first when it is made and again a moment after a folder changed (a
// folder that is not there yet is waited for from the nearest folder above
// it); lookups answer from the last reading, indexed, and never touch the
// disk. Main thread only.
class ApplicationDirectory final {
public:
    struct Entry {
        QString id;
        // The untranslated "Name" of the file.
        QString name;
        // The ".desktop" file itself.
        QString path;
        QString startupWMClass;
        bool operator==(const Entry&) const = default;
    };

    // How long after the last change in a folder it is read again: an
    // installation writes many files at once.
    static constexpr int settleMilliseconds = 250;

    // `folders` in order of precedence: a file in an earlier folder hides one
    // of the same id in a later folder. Starts the first reading.
    explicit ApplicationDirectory(QStringList folders = standardFolders());
    // Waits for a reading under way, which takes a moment at most.
    ~ApplicationDirectory();
    ApplicationDirectory(const ApplicationDirectory&) = delete;
    ApplicationDirectory& operator=(const ApplicationDirectory&) = delete;

    // The user's applications folder first, then the system's.
    static QStringList standardFolders();

    std::optional<Entry> entry(const QString& id) const;
    std::optional<QString> name(const QString& id) const;
    std::optional<QString> path(const QString& id) const;
    // The application whose windows carry this WM_CLASS: its StartupWMClass
    // first, then its id, then the last dotted part of its id, the class
    // before the instance in each step; among several, the first by id.
    std::optional<QString> idForWindowClass(const QString& instance,
                                            const QString& windowClass) const;
    // Every installed application, sorted by id.
    const std::vector<Entry>& entries() const;

    // Reads the folders again on the worker, now.
    void refresh();
    // Reads the folders as they are now and waits, up to `ms`, until that
    // reading is in use; false when time ran out. For start-up and tests.
    bool refreshAndWait(int ms = 10000);

private:
    struct Index;
    struct Shared;

    quint64 startReading();
    void takeReading();
    void watch(const QStringList& folders);

    QStringList m_folders;
    std::shared_ptr<const Index> m_index;
    std::shared_ptr<Shared> m_shared;
    quint64 m_requested = 0;
    quint64 m_applied = 0;
    QTimer m_settle;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    // Where readings are handed back: the main thread.
    std::unique_ptr<QObject> m_context;
    QThreadPool m_worker;
};

} // namespace tarvo
