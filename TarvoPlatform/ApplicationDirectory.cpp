#include "ApplicationDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStandardPaths>

#include <algorithm>

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

} // namespace

ApplicationDirectory::ApplicationDirectory(QStringList folders) : m_folders(std::move(folders)) {}

ApplicationDirectory::~ApplicationDirectory() = default;

QStringList ApplicationDirectory::standardFolders() {
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

void ApplicationDirectory::refresh() {
    m_entries.clear();
    m_claimed.clear();
    m_scanned.clear();
    for (const QString& folder : m_folders) {
        const QString root = QDir::cleanPath(folder);
        if (QFileInfo(root).isDir())
            scan(root, root, 0);
    }
    m_stale = false;
    watch();
}

void ApplicationDirectory::scan(const QString& root, const QString& folder, int depth) {
    m_scanned.append(folder);
    const QDir dir(folder);
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& info : files) {
        QString id = QDir(root).relativeFilePath(info.filePath());
        id.chop(QStringLiteral(".desktop").size());
        id.replace(u'/', u'-');
        if (m_claimed.contains(id))
            continue;
        const std::optional<DesktopEntryFields> fields = readDesktopEntry(info.filePath());
        if (!fields)
            continue;
        // A hidden entry deletes the application for every later folder too.
        const bool usable = !fields->hidden && fields->type == u"Application";
        m_claimed.insert(id, usable);
        if (usable)
            m_entries.insert(id, Entry{id, fields->name, info.filePath(), fields->startupWMClass});
    }
    if (depth >= maxDepth)
        return;
    const QFileInfoList folders = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& sub : folders)
        scan(root, sub.filePath(), depth + 1);
}

void ApplicationDirectory::watch() {
    if (!m_watcher) {
        m_watcher = std::make_unique<QFileSystemWatcher>();
        QObject::connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, m_watcher.get(),
                         [this](const QString&) { m_stale = true; });
    }
    const QStringList watched = m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    if (!m_scanned.isEmpty())
        m_watcher->addPaths(m_scanned);
}

void ApplicationDirectory::ensureLoaded() {
    if (m_stale)
        refresh();
}

std::optional<ApplicationDirectory::Entry> ApplicationDirectory::entry(const QString& id) {
    ensureLoaded();
    const auto it = m_entries.constFind(id);
    if (it == m_entries.constEnd())
        return std::nullopt;
    return *it;
}

std::optional<QString> ApplicationDirectory::name(const QString& id) {
    const std::optional<Entry> found = entry(id);
    if (!found || found->name.isEmpty())
        return std::nullopt;
    return found->name;
}

std::optional<QString> ApplicationDirectory::path(const QString& id) {
    const std::optional<Entry> found = entry(id);
    if (!found)
        return std::nullopt;
    return found->path;
}

std::vector<ApplicationDirectory::Entry> ApplicationDirectory::entries() {
    ensureLoaded();
    std::vector<Entry> all(m_entries.cbegin(), m_entries.cend());
    std::sort(all.begin(), all.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
    return all;
}

std::optional<QString> ApplicationDirectory::idForWindowClass(const QString& instance,
                                                              const QString& windowClass) {
    const std::vector<Entry> all = entries();
    QStringList names;
    for (const QString& name : {windowClass, instance})
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    if (names.isEmpty())
        return std::nullopt;

    using Test = bool (*)(const Entry&, const QString&);
    const Test tests[] = {
        [](const Entry& e, const QString& n) { return e.startupWMClass == n; },
        [](const Entry& e, const QString& n) { return e.id == n; },
        [](const Entry& e, const QString& n) { return e.id.compare(n, Qt::CaseInsensitive) == 0; },
        [](const Entry& e, const QString& n) {
            return lastDottedPart(e.id).compare(n, Qt::CaseInsensitive) == 0;
        },
    };
    for (const Test test : tests)
        for (const QString& name : names)
            for (const Entry& e : all)
                if (test(e, name))
                    return e.id;
    return std::nullopt;
}

} // namespace tarvo
