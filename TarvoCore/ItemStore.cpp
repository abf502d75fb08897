#include "ItemStore.h"

#include "AtomicFile.h"
#include "ContentHash.h"
#include "FileError.h"
#include "Files.h"
#include "L10n.h"
#include "Log.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {

namespace {

constexpr char indexName[] = "tarvo.json";
constexpr char metadataName[] = "item.json";

struct Index {
    std::vector<QUuid> order;
    std::vector<QUuid> selection;
};

std::vector<QUuid> readIds(const QJsonArray& array, const json::CodingPath& path) {
    std::vector<QUuid> ids;
    ids.reserve(static_cast<size_t>(array.size()));
    for (qsizetype i = 0; i < array.size(); ++i)
        ids.push_back(json::readUuid(array.at(i), path + QStringList{QString::number(i)}));
    return ids;
}

std::optional<Index> readIndex(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    try {
        const json::ObjectReader r(json::parse(file.readAll()), {});
        return Index{readIds(r.array(QStringLiteral("order")), r.pathTo("order")),
                     readIds(r.array(QStringLiteral("selection")), r.pathTo("selection"))};
    } catch (const json::DecodingError&) {
        return std::nullopt;
    }
}

// Compares two regular files of equal size from `offset` to their end.
bool sameBytesFrom(const QString& a, const QString& b, off_t offset) {
    const int fa = ::open(QFile::encodeName(a).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fa < 0)
        return false;
    const int fb = ::open(QFile::encodeName(b).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fb < 0) {
        ::close(fa);
        return false;
    }
    constexpr size_t chunk = 256 * 1024;
    std::vector<char> ba(chunk), bb(chunk);
    bool same = true;
    for (off_t at = offset;;) {
        const ssize_t na = ::pread(fa, ba.data(), chunk, at);
        const ssize_t nb = ::pread(fb, bb.data(), chunk, at);
        if (na < 0 || nb < 0 || na != nb ||
            std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) != 0) {
            same = false;
            break;
        }
        if (na == 0)
            break;
        at += na;
    }
    ::close(fa);
    ::close(fb);
    return same;
}

} // namespace

const Item& ItemStore::AddResult::item() const {
    return std::visit(
        [](const auto& c) -> const Item& {
            if constexpr (requires { c.existing; })
                return c.existing;
            else
                return c.item;
        },
        value);
}

QString ItemStore::defaultRoot() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        throw FileError(QStringLiteral("find the data folder"), QStringLiteral("Tarvo"), ENOENT);
    return data + QStringLiteral("/Tarvo/Items");
}

ItemStore::ItemStore(QString root) : m_root(std::move(root)) {
    while (m_root.size() > 1 && m_root.endsWith(u'/'))
        m_root.chop(1);
    Files::makeDirectories(m_root);
    load();
}

QString ItemStore::indexPath() const {
    return m_root + u'/' + QLatin1String(indexName);
}

QString ItemStore::itemDirectory(const QUuid& id) const {
    return itemFolder(m_root, id);
}

QString ItemStore::makeItemDirectory(const QUuid& id) {
    const QString folder = itemDirectory(id);
    Files::makeDirectories(folder);
    return folder;
}

std::optional<Item> ItemStore::readItem(const QUuid& id) const {
    QFile file(itemDirectory(id) + u'/' + QLatin1String(metadataName));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    try {
        return Item::fromJson(json::parse(file.readAll()));
    } catch (const json::DecodingError&) {
        return std::nullopt;
    }
}

void ItemStore::load() {
    const bool indexExists = Files::exists(indexPath());
    const std::optional<Index> index = readIndex(indexPath());
    if (!index) {
        // A lost or damaged index must not orphan every item: the folders
        // still say what the shelf held.
        const bool recovered = rebuildFromFolders();
        if (indexExists || recovered) {
            Log::core().notice(
                QStringLiteral("rebuilt the tarvo index from %1 item folders").arg(m_items.size()));
            persistIndex();
        }
        failInterruptedReceives();
        return;
    }

    QSet<QUuid> loaded;
    for (const QUuid& id : index->order) {
        if (loaded.contains(id))
            continue;
        std::optional<Item> item = readItem(id);
        if (!item) {
            Log::core().notice(
                QStringLiteral("dropping item %1: its metadata is gone").arg(json::uuidText(id)));
            continue;
        }
        loaded.insert(id);
        m_items.push_back(std::move(*item));
    }
    for (const QUuid& id : index->selection) {
        if (loaded.contains(id))
            m_selection.insert(id);
    }
    failInterruptedReceives();
}

bool ItemStore::rebuildFromFolders() {
    const QStringList names =
        QDir(m_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        const QUuid id = QUuid::fromString(name);
        if (id.isNull() || json::uuidText(id) != name)
            continue;
        std::optional<Item> item = readItem(id);
        if (item && item->id == id)
            m_items.push_back(std::move(*item));
    }
    std::stable_sort(m_items.begin(), m_items.end(),
                     [](const Item& a, const Item& b) { return a.addedAt > b.addedAt; });
    return !m_items.empty();
}

// A receive that was under way when the process ended can never finish: its
// timeout died with the process.
void ItemStore::failInterruptedReceives() {
    for (Item& item : m_items) {
        if (!item.state.is<ItemState::Receiving>())
            continue;
        item.state = ItemState::failed(L10n::itemFailed());
        writeMetadata(item);
    }
}

void ItemStore::writeMetadataThrowing(const Item& item) {
    const QString folder = makeItemDirectory(item.id);
    AtomicFile::write(json::write(item.toJson()), folder + u'/' + QLatin1String(metadataName));
}

void ItemStore::writeMetadata(const Item& item) {
    try {
        writeMetadataThrowing(item);
    } catch (const FileError& error) {
        Log::core().error(QStringLiteral("could not write item.json: %1").arg(error.description()));
    }
}

void ItemStore::writeIndexThrowing() {
    QJsonArray order;
    for (const Item& item : m_items)
        order.append(json::uuidText(item.id));
    QStringList selected;
    for (const QUuid& id : m_selection)
        selected.append(json::uuidText(id));
    selected.sort();
    const QJsonObject index{{QStringLiteral("order"), order},
                            {QStringLiteral("selection"), QJsonArray::fromStringList(selected)}};
    AtomicFile::write(json::write(index), indexPath());
}

void ItemStore::persistIndex() {
    try {
        writeIndexThrowing();
    } catch (const FileError& error) {
        Log::core().error(
            QStringLiteral("could not write the tarvo index: %1").arg(error.description()));
    }
}

bool ItemStore::sameContent(const Item& candidate, const Item& existing) const {
    if (candidate.id == existing.id)
        return true;
    const auto a = candidate.payloadURL(m_root);
    const auto b = existing.payloadURL(m_root);
    if (!a || !b)
        return true;
    struct stat sa {
    }, sb{};
    const bool hasA = ::stat(QFile::encodeName(*a).constData(), &sa) == 0;
    const bool hasB = ::stat(QFile::encodeName(*b).constData(), &sb) == 0;
    if (hasA && !hasB)
        return false; // the shelf's copy is gone: keep the new content
    if (!hasA || !S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode))
        return true;
    if (sa.st_size != sb.st_size)
        return false;
    if (sa.st_size <= ContentHash::prefixLength)
        return true;
    return sameBytesFrom(*a, *b, static_cast<off_t>(ContentHash::prefixLength));
}

std::optional<Item> ItemStore::duplicateOf(const Item& candidate) const {
    for (const Item& item : m_items) {
        if (item.contentHash == candidate.contentHash && sameContent(candidate, item))
            return item;
    }
    return std::nullopt;
}

ItemStore::AddResult ItemStore::add(const Item& item) {
    if (const std::optional<Item> existing = duplicateOf(item)) {
        m_selection = {existing->id};
        if (item.id != existing->id) {
            const QString folder = itemDirectory(item.id);
            if (Files::exists(folder))
                Files::removeRecursively(folder);
        }
        return {AddResult::Duplicate{*existing}};
    }
    try {
        writeMetadataThrowing(item);
    } catch (const FileError& error) {
        Log::core().error(QStringLiteral("could not write item.json: %1").arg(error.description()));
        return {AddResult::Failed{item, error.description()}};
    }
    m_items.insert(m_items.begin(), item);
    persistIndex();
    return {AddResult::Added{item}};
}

void ItemStore::update(const Item& item) {
    const auto it = std::find_if(m_items.begin(), m_items.end(),
                                 [&](const Item& i) { return i.id == item.id; });
    if (it == m_items.end())
        return;
    *it = item;
    writeMetadata(item);
    persistIndex();
}

void ItemStore::forget(const QUuid& id) {
    std::erase_if(m_items, [&](const Item& i) { return i.id == id; });
    m_selection.remove(id);
    Files::removeRecursively(itemDirectory(id));
}

void ItemStore::remove(const QUuid& id) {
    forget(id);
    persistIndex();
}

void ItemStore::move(const QUuid& id, qsizetype index) {
    const auto it =
        std::find_if(m_items.begin(), m_items.end(), [&](const Item& i) { return i.id == id; });
    if (it == m_items.end())
        return;
    const auto count = static_cast<qsizetype>(m_items.size());
    const qsizetype target = std::clamp<qsizetype>(index, 0, count - 1);
    const qsizetype from = it - m_items.begin();
    if (from == target)
        return;
    Item moving = std::move(*it);
    m_items.erase(it);
    m_items.insert(m_items.begin() + target, std::move(moving));
    persistIndex();
}

void ItemStore::clear() {
    for (const Item& item : m_items)
        Files::removeRecursively(itemDirectory(item.id));
    m_items.clear();
    m_selection.clear();
    persistIndex();
}

std::optional<Item> ItemStore::item(const QUuid& id) const {
    for (const Item& i : m_items) {
        if (i.id == id)
            return i;
    }
    return std::nullopt;
}

std::optional<Item> ItemStore::itemWithHash(const QString& contentHash) const {
    for (const Item& i : m_items) {
        if (i.contentHash == contentHash)
            return i;
    }
    return std::nullopt;
}

std::vector<QUuid> ItemStore::evictExpired(Date now, double maxAge) {
    std::vector<QUuid> expired;
    for (const Item& item : m_items) {
        if (!item.pinned && now.secondsSince(item.addedAt) > maxAge)
            expired.push_back(item.id);
    }
    for (const QUuid& id : expired)
        forget(id);
    if (!expired.empty())
        persistIndex();
    return expired;
}

std::vector<QUuid> ItemStore::evictToCap(qint64 bytes) {
    std::vector<std::pair<const Item*, qint64>> measured;
    measured.reserve(m_items.size());
    qint64 total = 0;
    for (const Item& item : m_items) {
        const qint64 size = Files::folderSize(itemDirectory(item.id));
        measured.emplace_back(&item, size);
        total += size;
    }
    if (total <= bytes)
        return {};

    std::vector<std::pair<const Item*, qint64>> candidates;
    std::copy_if(measured.begin(), measured.end(), std::back_inserter(candidates),
                 [](const auto& m) { return !m.first->pinned; });
    std::stable_sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
        return a.first->addedAt < b.first->addedAt;
    });

    std::vector<QUuid> removed;
    for (const auto& [item, size] : candidates) {
        if (total <= bytes)
            break;
        total -= size;
        removed.push_back(item->id);
    }
    for (const QUuid& id : removed)
        forget(id);
    if (!removed.empty())
        persistIndex();
    return removed;
}

qint64 ItemStore::containerSize() const {
    qint64 total = 0;
    for (const Item& item : m_items)
        total += Files::folderSize(itemDirectory(item.id));
    return total;
}

void ItemStore::save() {
    for (const Item& item : m_items)
        writeMetadataThrowing(item);
    writeIndexThrowing();
}

} // namespace tarvo
