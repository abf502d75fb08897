#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QFileSystemWatcher;

namespace tarvo {

// The installed applications, from the ".desktop" files of the applications
// folders. Read on first use and again after a folder changed. An
// application's identifier is its desktop-file id: the file's path below its
// applications folder, "/" turned into "-", without ".desktop". Main thread
// only.
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

    // `folders` in order of precedence: a file in an earlier folder hides one
    // of the same id in a later folder.
    explicit ApplicationDirectory(QStringList folders = standardFolders());
    ~ApplicationDirectory();
    ApplicationDirectory(const ApplicationDirectory&) = delete;
    ApplicationDirectory& operator=(const ApplicationDirectory&) = delete;

    // The user's applications folder first, then the system's.
    static QStringList standardFolders();

    std::optional<Entry> entry(const QString& id);
    std::optional<QString> name(const QString& id);
    std::optional<QString> path(const QString& id);
    // The application whose windows carry this WM_CLASS: its StartupWMClass
    // first, then its id, then the last dotted part of its id, the class
    // before the instance in each step.
    std::optional<QString> idForWindowClass(const QString& instance, const QString& windowClass);
    // Every installed application, sorted by id.
    std::vector<Entry> entries();

    // Reads the folders again now.
    void refresh();

private:
    void ensureLoaded();
    void scan(const QString& root, const QString& folder, int depth);
    void watch();

    QStringList m_folders;
    QHash<QString, Entry> m_entries;
    // Ids taken by an earlier folder, usable or hidden there.
    QHash<QString, bool> m_claimed;
    QStringList m_scanned;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    bool m_stale = true;
};

} // namespace tarvo
