#include "ApplicationDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QObject>
#include <QStandardPaths>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace tarvo {

namespace {

// Folders inside an applications folder are followed this deep at most, so a
// loop of links cannot keep the scan going.
constexpr int maxDepth = 4;

struct DesktopEntryFields {
    QString type;
    QString name;
    QString startupWMClass;
    bool hidden = false;
};

QString unescape(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case 's':
            out.append(u' ');
            break;
        case 'n':
            out.append(u'\n');
            break;
        case 't':
            out.append(u'\t');
            break;
        case 'r':
            out.append(u'\r');
            break;
        default:
            out.append(next);
            break;
        }
    }
    return out;
}

std::optional<DesktopEntryFields> readDesktopEntry(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Desktop files are small; a huge one is not worth reading.
    if (file.size() > 1 << 20)
        return std::nullopt;
    const QString text = QString::fromUtf8(file.readAll());
    DesktopEntryFields fields;
    bool inMainGroup = false;
    bool sawMainGroup = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QStringView key = line.left(equals).trimmed();
        const QString value = unescape(line.mid(equals + 1).trimmed().toString());
        if (key == u"Type")
            fields.type = value;
        else if (key == u"Name")
            fields.name = value;
        else if (key == u"StartupWMClass")
            fields.startupWMClass = value;
        else if (key == u"Hidden")
            fields.hidden = value == u"true";
    }
    if (!sawMainGroup)
        return std::nullopt;
    return fields;
}

QString lastDottedPart(const QString& id) {
    const qsizetype dot = id.lastIndexOf(u'.');
    return dot < 0 ? id : id.mid(dot + 1);
}

QString folded(const QString& text) {
    return text.toCaseFolded();
}

// The nearest existing folder above `path`; empty when there is none (a
// relative path).
QString nearestFolderAbove(const QString& path) {
    QString above = path;
    for (;;) {
        const qsizetype slash = above.lastIndexOf(u'/');
        if (slash < 0)
            return {};
        above = slash == 0 ? QStringLiteral("/") : above.left(slash);
        if (QFileInfo(above).isDir())
            return above;
        if (slash == 0)
            return {};
    }
}

} // namespace

// One reading of the folders, with the lookups it answers made ready.
struct ApplicationDirectory::Index {
    QHash<QString, Entry> byID;
    std::vector<Entry> sorted;
    // Each key names the first application by id that it matches.
    QHash<QString, QString> byWMClass;
    QHash<QString, QString> byFoldedID;
    QHash<QString, QString> byFoldedLastPart;
    QStringList scanned;
    // For each applications folder that is not there yet, the nearest folder
    // above it that is: where it appears, as the first install of a user's
    // own application makes it.
    QStringList awaited;

    void read(const QStringList& folders) {
        QHash<QString, bool> claimed; // ids taken by an earlier folder, usable or hidden there
        for (const QString& folder : folders) {
            const QString root = QDir::cleanPath(folder);
            if (QFileInfo(root).isDir())
                scan(root, root, 0, claimed);
            else if (const QString above = nearestFolderAbove(root);
                     !above.isEmpty() && !awaited.contains(above))
                awaited.append(above);
        }
        sorted.assign(byID.cbegin(), byID.cend());
        std::sort(sorted.begin(), sorted.end(),
                  [](const Entry& a, const Entry& b) { return a.id < b.id; });
        for (auto it = sorted.crbegin(); it != sorted.crend(); ++it) {
            // Walked backwards, so the first by id is the one left standing.
            if (!it->startupWMClass.isEmpty())
                byWMClass.insert(it->startupWMClass, it->id);
            byFoldedID.insert(folded(it->id), it->id);
            byFoldedLastPart.insert(folded(lastDottedPart(it->id)), it->id);
        }
    }

    void scan(const QString& root, const QString& folder, int depth,
              QHash<QString, bool>& claimed) {
        scanned.append(folder);
        const QDir dir(folder);
        // Matched by hand: a name filter would compile a regular expression,
        // and with it map the whole expression engine, for one suffix.
        const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo& info : files) {
            if (!info.fileName().endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive))
                continue;
            QString id = QDir(root).relativeFilePath(info.filePath());
            id.chop(QStringLiteral(".desktop").size());
            id.replace(u'/', u'-');
            if (claimed.contains(id))
                continue;
            const std::optional<DesktopEntryFields> fields = readDesktopEntry(info.filePath());
            if (!fields)
                continue;
            // A hidden entry deletes the application for every later folder too.
            const bool usable = !fields->hidden && fields->type == u"Application";
            claimed.insert(id, usable);
            if (usable)
                byID.insert(id, Entry{id, fields->name, info.filePath(), fields->startupWMClass});
        }
        if (depth >= maxDepth)
            return;
        const QFileInfoList folders =
            dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& sub : folders)
            scan(root, sub.filePath(), depth + 1, claimed);
    }
};

// What the worker hands over: the latest reading and its number.
struct ApplicationDirectory::Shared {
    std::mutex mutex;
    std::condition_variable done;
    quint64 generation = 0;
    std::shared_ptr<const Index> index;
};

ApplicationDirectory::ApplicationDirectory(QStringList folders)
    : m_folders(std::move(folders)), m_index(std::make_shared<Index>()),
      m_shared(std::make_shared<Shared>()), m_context(std::make_unique<QObject>()) {
    // One thread: readings finish in the order they were asked for.
    m_worker.setMaxThreadCount(1);
    m_worker.setObjectName(QStringLiteral("com.tarvoapp.Tarvo.applications"));
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMilliseconds);
    QObject::connect(&m_settle, &QTimer::timeout, m_context.get(), [this] { startReading(); });
    startReading();
}

ApplicationDirectory::~ApplicationDirectory() {
    m_worker.waitForDone();
}

QStringList ApplicationDirectory::standardFolders() {
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

quint64 ApplicationDirectory::startReading() {
    const quint64 generation = ++m_requested;
    m_worker.start(
        [shared = m_shared, folders = m_folders, generation, context = m_context.get(), this] {
            auto index = std::make_shared<Index>();
            index->read(folders);
            {
                const std::lock_guard lock(shared->mutex);
                shared->generation = generation;
                shared->index = std::move(index);
            }
            shared->done.notify_all();
            // The destructor waits for this task, so the context still lives.
            QMetaObject::invokeMethod(
                context, [this] { takeReading(); }, Qt::QueuedConnection);
        });
    return generation;
}

void ApplicationDirectory::takeReading() {
    std::shared_ptr<const Index> index;
    quint64 generation = 0;
    {
        const std::lock_guard lock(m_shared->mutex);
        generation = m_shared->generation;
        index = m_shared->index;
    }
    if (generation <= m_applied || !index)
        return;
    m_applied = generation;
    m_index = std::move(index);
    watch(m_index->scanned + m_index->awaited);
}

void ApplicationDirectory::refresh() {
    m_settle.stop();
    startReading();
}

bool ApplicationDirectory::refreshAndWait(int ms) {
    m_settle.stop();
    const quint64 wanted = startReading();
    {
        std::unique_lock lock(m_shared->mutex);
        if (!m_shared->done.wait_for(lock, std::chrono::milliseconds(ms),
                                     [&] { return m_shared->generation >= wanted; }))
            return false;
    }
    takeReading();
    return true;
}

void ApplicationDirectory::watch(const QStringList& folders) {
    if (!m_watcher) {
        m_watcher = std::make_unique<QFileSystemWatcher>();
        QObject::connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, m_context.get(),
                         [this](const QString&) { m_settle.start(); });
    }
    const QStringList watched = m_watcher->directories();
    if (watched == folders)
        return;
    const bool first = watched.isEmpty();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    if (!folders.isEmpty())
        m_watcher->addPaths(folders);
    // A folder that appeared was read before it was watched: read once more
    // so that what was written into it in between is not missed.
    if (!first && std::any_of(m_index->scanned.cbegin(), m_index->scanned.cend(),
                              [&](const QString& folder) { return !watched.contains(folder); }))
        m_settle.start();
}

std::optional<ApplicationDirectory::Entry> ApplicationDirectory::entry(const QString& id) const {
    const auto it = m_index->byID.constFind(id);
    if (it == m_index->byID.constEnd())
        return std::nullopt;
    return *it;
}

std::optional<QString> ApplicationDirectory::name(const QString& id) const {
    const auto it = m_index->byID.constFind(id);
    if (it == m_index->byID.constEnd() || it->name.isEmpty())
        return std::nullopt;
    return it->name;
}

std::optional<QString> ApplicationDirectory::path(const QString& id) const {
    const auto it = m_index->byID.constFind(id);
    if (it == m_index->byID.constEnd())
        return std::nullopt;
    return it->path;
}

const std::vector<ApplicationDirectory::Entry>& ApplicationDirectory::entries() const {
    return m_index->sorted;
}

std::optional<QString> ApplicationDirectory::idForWindowClass(const QString& instance,
                                                              const QString& windowClass) const {
    QStringList names;
    for (const QString& name : {windowClass, instance})
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    const Index& index = *m_index;
    for (const QString& name : names)
        if (const auto it = index.byWMClass.constFind(name); it != index.byWMClass.constEnd())
            return *it;
    for (const QString& name : names)
        if (index.byID.contains(name))
            return name;
    for (const QHash<QString, QString>* table : {&index.byFoldedID, &index.byFoldedLastPart})
        for (const QString& name : names)
            if (const auto it = table->constFind(folded(name)); it != table->constEnd())
                return *it;
    return std::nullopt;
}

} // namespace tarvo
