#include "ItemStore.h"

#include "AtomicFile.h"
#include "ContentHash.h"
#include "DiskIO.h"
#include "FileError.h"
#include "Files.h"
#include "Fingerprint.h"
#include "L10n.h"
#include "Log.h"
#include "StoredContent.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarvo {

namespace {

constexpr char indexName[] = "tarvo.json";
constexpr char metadataName[] = "item.json";
// Hidden names, so nothing that looks for item folders takes them for one.
constexpr char trashPrefix[] = ".removed.";
constexpr char quarantinePrefix[] = ".quarantined.";
// What a crash leaves is swept at start-up once it is this old (seconds).
constexpr qint64 temporaryFileAge = 3600;
constexpr qint64 orphanFolderAge = 86400;

// Seconds since `path` last changed; 0 when it cannot be told.
qint64 ageOf(const QString& path, qint64 now) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return now - static_cast<qint64>(st.st_mtim.tv_sec);
}

// `keep` is the item's own file, which may look like one of ours by chance.
void removeOldTemporaryFiles(const QString& folder, const QString& keep, qint64 now) {
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QString path = folder + u'/' + name;
        if (name != keep && AtomicFile::isTemporaryName(name) &&
            ageOf(path, now) > temporaryFileAge)
            ::unlink(QFile::encodeName(path).constData());
    }
}

// A folder that could not be renamed aside is emptied with its "item.json"
// first, so an interrupted deletion can never leave something that loads.
void removeInPlace(const QString& folder) {
    ::unlink(QFile::encodeName(folder + u'/' + QLatin1String(metadataName)).constData());
    Files::removeRecursively(folder);
}

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

// The bytes a text's or a link's fingerprint is taken over; none for items
// whose content is a stored file.
std::optional<QByteArray> heldContent(const Item& item) {
    if (const auto* text = item.payload.as<ItemPayload::Text>())
        return text->text.toUtf8();
    if (const auto* link = item.payload.as<ItemPayload::Url>())
        return link->url.toString(QUrl::FullyEncoded).toUtf8();
    return std::nullopt;
}

// Whether the regular file at `path` holds exactly `bytes`.
bool sameBytesAs(const QByteArray& bytes, const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || file.size() != bytes.size() ||
        !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    constexpr qint64 chunk = 256 * 1024;
    for (qint64 at = 0; at < bytes.size();) {
        const QByteArray piece = file.read(chunk);
        const qint64 n = piece.size();
        if (n == 0 || at + n > bytes.size() ||
            QByteArrayView(piece) != QByteArrayView(bytes).sliced(at, n))
            return false;
        at += n;
    }
    return true;
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

ItemStore::ItemStore(QString root, double removalGrace)
    : m_root(std::move(root)), m_removalGrace(removalGrace),
      m_graceTimer(std::make_unique<QTimer>()) {
    m_graceTimer->setSingleShot(true);
    QObject::connect(m_graceTimer.get(), &QTimer::timeout, [this] { deleteExpiredTrash(); });
    while (m_root.size() > 1 && m_root.endsWith(u'/'))
        m_root.chop(1);
    m_deleter.setMaxThreadCount(1);
    m_deleter.setObjectName(QStringLiteral("com.tarvoapp.Tarvo.store-deletions"));
    Files::makeDirectories(m_root);
    // A store made under an open umask is closed at once where it matters
    // most, and everything inside it off the main thread.
    Files::tightenOne(m_root);
    load();
    m_deleter.start([root = m_root] { Files::tighten(root); });
}

// Folders still in their grace period stay on disk; the next start deletes them.
ItemStore::~ItemStore() {
    m_writer.reset(); // finishes every queued write
    m_graceTimer.reset();
    m_deleter.waitForDone();
}

void ItemStore::setWritesInBackground(bool on) {
    if (on == writesInBackground())
        return;
    if (!on) {
        m_writer.reset();
        m_writeTickets.clear();
        return;
    }
    m_writer = std::make_unique<StoreWriter>(m_root);
    m_writer->onItemFailed = [this](const QUuid& id, quint64 ticket, const QString& reason) {
        backgroundWriteFailed(id, ticket, reason);
    };
}

void ItemStore::waitForWrites() {
    if (m_writer)
        m_writer->waitForIdle();
}

void ItemStore::queueItem(const Item& item, bool payloadFirst) {
    try {
        makeItemDirectory(item.id);
    } catch (const FileError&) {
        // the writer reports it when "item.json" cannot go in
    }
    m_writeTickets.insert(item.id, m_writer->writeItem(item, payloadFirst));
}

// The item stays on the shelf, failed, so the user sees what was not kept;
// writing it again would only fail again.
void ItemStore::backgroundWriteFailed(const QUuid& id, quint64 ticket, const QString& reason) {
    if (m_writeTickets.value(id) != ticket)
        return;
    const auto it =
        std::find_if(m_items.begin(), m_items.end(), [&](const Item& i) { return i.id == id; });
    if (it == m_items.end())
        return;
    it->state = ItemState::failed(L10n::itemFailed());
    m_snapshot.reset();
    if (onWriteFailed)
        onWriteFailed(*it, reason);
}

void ItemStore::waitForDeletions() {
    m_deleter.waitForDone();
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

struct ItemStore::ReadResult {
    std::optional<Item> item;
    bool folderMissing = false;
    QString problem; // why there is no item although the folder is there
};

ItemStore::ReadResult ItemStore::readItem(const QUuid& id) const {
    const QString folder = itemDirectory(id);
    struct stat st {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0 && errno == ENOENT)
        return {std::nullopt, true, {}};
    const QString path = folder + u'/' + QLatin1String(metadataName);
    QByteArray bytes;
    try {
        const int fd = DiskIO::openForReading(path);
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return {std::nullopt, false, QStringLiteral("could not read it")};
        }
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return {std::nullopt, false, file.errorString()};
    } catch (const FileError& error) {
        return {std::nullopt, false, error.description()};
    }
    try {
        Item item = Item::fromJson(json::parse(bytes));
        // Taken under another id it would hide the item that really has it.
        if (item.id != id)
            return {std::nullopt, false,
                    QStringLiteral("it names another item, %1").arg(json::uuidText(item.id))};
        return {std::move(item), false, {}};
    } catch (const json::DecodingError& error) {
        return {std::nullopt, false, QString::fromUtf8(error.what())};
    }
}

// Reading and decoding thousands of "item.json" files is most of a start:
// they are read on a few threads at once, each taking its share in turn.
std::vector<ItemStore::ReadResult> ItemStore::readItems(const std::vector<QUuid>& ids) const {
    std::vector<ReadResult> reads(ids.size());
    constexpr size_t perThreadAtLeast = 256;
    const size_t threads = std::min<size_t>(
        {std::max(1u, std::thread::hardware_concurrency()), 4, ids.size() / perThreadAtLeast + 1});
    std::atomic<size_t> next{0};
    const auto work = [&] {
        constexpr size_t batch = 64;
        for (size_t start = next.fetch_add(batch); start < ids.size();
             start = next.fetch_add(batch)) {
            const size_t end = std::min(ids.size(), start + batch);
            for (size_t i = start; i < end; ++i)
                reads[i] = readItem(ids[i]);
        }
    };
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
    return reads;
}

void ItemStore::load() {
    const bool indexExists = Files::exists(indexPath());
    const std::optional<Index> index = readIndex(indexPath());
    if (!index) {
        // A lost or damaged index must not orphan every item: the folders
        // still say what the shelf held.
        sweepRoot(nullptr);
        const bool recovered = rebuildFromFolders();
        if (indexExists || recovered) {
            Log::core().notice(
                QStringLiteral("rebuilt the tarvo index from %1 item folders").arg(m_items.size()));
            persistIndex();
        }
        failInterruptedReceives();
        sweepItemFolders();
        return;
    }

    bool changed = false;
    QSet<QUuid> listed;
    std::vector<QUuid> ids;
    ids.reserve(index->order.size());
    for (const QUuid& id : index->order) {
        if (listed.contains(id))
            continue;
        listed.insert(id);
        ids.push_back(id);
    }
    std::vector<ReadResult> reads = readItems(ids);
    for (size_t i = 0; i < ids.size(); ++i) {
        const QUuid& id = ids[i];
        ReadResult& read = reads[i];
        if (read.item) {
            m_items.push_back(std::move(*read.item));
            continue;
        }
        changed = true;
        if (read.folderMissing)
            Log::core().notice(
                QStringLiteral("dropping item %1: its metadata is gone").arg(json::uuidText(id)));
        else
            quarantine(id, read.problem);
    }
    const size_t before = m_items.size();
    sweepRoot(&listed);
    changed = changed || m_items.size() != before;
    QSet<QUuid> loaded;
    for (const Item& item : m_items)
        loaded.insert(item.id);
    for (const QUuid& id : index->selection) {
        if (loaded.contains(id))
            m_selection.insert(id);
    }
    failInterruptedReceives();
    if (changed)
        persistIndex();
    sweepItemFolders();
}

// Finishes what a crash left at the top of the store: removals (deleted),
// our temporary files older than an hour (deleted), and item folders that no
// index entry names, older than a day: adopted at the end of the shelf when
// their "item.json" reads, deleted when they have none.
void ItemStore::sweepRoot(const QSet<QUuid>* listed) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // Listed by name only: a listing that asks each entry's type, as QDir's
    // filters do, stats every item folder of a long shelf at every start.
    std::vector<QString> names;
    const int rootFd =
        ::open(QFile::encodeName(m_root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd >= 0) {
        try {
            const std::vector<std::string> raw = Files::namesIn(rootFd, m_root);
            names.reserve(raw.size());
            for (const std::string& name : raw)
                names.push_back(QFile::decodeName(QByteArray::fromStdString(name)));
        } catch (const FileError&) {
            // nothing to finish that can be seen; the next start tries again
        }
        ::close(rootFd);
    }
    std::sort(names.begin(), names.end());
    std::vector<Item> adopted;
    for (const QString& name : names) {
        const QString path = m_root + u'/' + name;
        if (name.startsWith(QLatin1String(trashPrefix))) {
            scheduleDeletion(path);
            continue;
        }
        if (AtomicFile::isTemporaryName(name)) {
            if (ageOf(path, now) > temporaryFileAge)
                ::unlink(QFile::encodeName(path).constData());
            continue;
        }
        const QUuid id = QUuid::fromString(name);
        if (!listed || id.isNull() || json::uuidText(id) != name || listed->contains(id))
            continue;
        if (ageOf(path, now) <= orphanFolderAge)
            continue; // perhaps a drop still being copied
        ReadResult read = readItem(id);
        if (read.item) {
            Log::core().notice(
                QStringLiteral("adopted item %1 that the index did not list").arg(name));
            adopted.push_back(std::move(*read.item));
        } else if (!Files::exists(path + u'/' + QLatin1String(metadataName))) {
            Log::core().notice(QStringLiteral("removing leftover item folder %1").arg(name));
            if (const std::optional<QString> trash = moveToTrash(id))
                scheduleDeletion(*trash);
        } else {
            quarantine(id, read.problem);
        }
    }
    std::stable_sort(adopted.begin(), adopted.end(),
                     [](const Item& a, const Item& b) { return a.addedAt > b.addedAt; });
    for (Item& item : adopted)
        m_items.push_back(std::move(item));
}

// Temporary files inside item folders are looked for off the main thread: a
// shelf of thousands of items would otherwise list as many folders at start-up.
void ItemStore::sweepItemFolders() {
    std::vector<std::pair<QString, QString>> folders;
    for (const Item& item : m_items)
        folders.emplace_back(itemDirectory(item.id), item.payload.fileName().value_or(QString()));
    m_deleter.start([folders = std::move(folders)] {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        for (const auto& [folder, payload] : folders)
            removeOldTemporaryFiles(folder, payload, now);
    });
}

// The folder is kept whole under another name, so its files outlive a damaged
// or unreadable "item.json" and nothing else takes its place.
void ItemStore::quarantine(const QUuid& id, const QString& reason) {
    const QString aside = m_root + u'/' + QLatin1String(quarantinePrefix) + json::uuidText(id) +
                          u'.' + QString::number(QDateTime::currentSecsSinceEpoch());
    try {
        DiskIO::renameDurably(itemDirectory(id), aside);
        Log::core().error(QStringLiteral("set item %1 aside as %2: %3")
                              .arg(json::uuidText(id), QFileInfo(aside).fileName(), reason));
    } catch (const FileError& error) {
        Log::core().error(QStringLiteral("could not set item %1 aside: %2; %3")
                              .arg(json::uuidText(id), reason, error.description()));
    }
}

bool ItemStore::rebuildFromFolders() {
    const QStringList names =
        QDir(m_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        const QUuid id = QUuid::fromString(name);
        if (id.isNull() || json::uuidText(id) != name)
            continue;
        ReadResult read = readItem(id);
        if (read.item)
            m_items.push_back(std::move(*read.item));
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
        m_snapshot.reset();
        writeMetadata(item);
    }
}

void ItemStore::writeMetadataThrowing(const Item& item) {
    const QString folder = makeItemDirectory(item.id);
    AtomicFile::write(json::write(item.toJson()), folder + u'/' + QLatin1String(metadataName));
}

void ItemStore::writeMetadata(const Item& item) {
    if (m_writer) {
        queueItem(item, false);
        return;
    }
    try {
        writeMetadataThrowing(item);
    } catch (const FileError& error) {
        Log::core().error(QStringLiteral("could not write item.json: %1").arg(error.description()));
    }
}

void ItemStore::writeIndexThrowing() {
    std::vector<QUuid> order;
    order.reserve(m_items.size());
    for (const Item& item : m_items)
        order.push_back(item.id);
    AtomicFile::write(StoreWriter::encodeIndex(order, m_selection), indexPath());
}

void ItemStore::persistIndex(bool flushRootFirst) {
    if (m_writer) {
        // The snapshot is taken now; encoding and writing happen on the writer.
        std::vector<QUuid> order;
        order.reserve(m_items.size());
        for (const Item& item : m_items)
            order.push_back(item.id);
        m_writer->writeIndex(std::move(order), m_selection, flushRootFirst);
        return;
    }
    try {
        writeIndexThrowing();
    } catch (const FileError& error) {
        Log::core().error(
            QStringLiteral("could not write the tarvo index: %1").arg(error.description()));
    }
}

bool StoredContent::isOwnEntry(const QString& name) {
    return name == QLatin1String(metadataName) || AtomicFile::isTemporaryName(name);
}

bool ItemStore::sameContent(const QString& root, const Item& candidate, const Item& existing) {
    if (candidate.id == existing.id)
        return true;
    const auto a = candidate.payloadURL(root);
    const auto b = existing.payloadURL(root);
    // Texts and links are held whole, so they are compared whole, past the
    // fingerprint's first MiB too.
    const std::optional<QByteArray> heldA = heldContent(candidate);
    const std::optional<QByteArray> heldB = heldContent(existing);
    if (heldA && heldB)
        return *heldA == *heldB;
    if (heldA || heldB) {
        const std::optional<QString>& file = heldA ? b : a;
        return file && sameBytesAs(heldA ? *heldA : *heldB, *file);
    }
    if (!a || !b)
        return true;
    struct stat sa {
    }, sb{};
    const bool hasA = ::stat(QFile::encodeName(*a).constData(), &sa) == 0;
    const bool hasB = ::stat(QFile::encodeName(*b).constData(), &sb) == 0;
    if (hasA && !hasB)
        return false; // the shelf's copy is gone: keep the new content
    if (!hasA)
        return true;
    // A folder's fingerprint is its name and time: an edit inside leaves
    // both as they were, so the entries below are compared.
    if (S_ISDIR(sa.st_mode) || S_ISDIR(sb.st_mode)) {
        if (!S_ISDIR(sa.st_mode) || !S_ISDIR(sb.st_mode))
            return false;
        try {
            return Fingerprint::sameContent(Fingerprint::manifest(*a), Fingerprint::manifest(*b));
        } catch (const FileError&) {
            return false; // what cannot be compared is kept as new content
        }
    }
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode))
        return true;
    if (sa.st_size != sb.st_size)
        return false;
    if (sa.st_size <= ContentHash::prefixLength)
        return true;
    return sameBytesFrom(*a, *b, static_cast<off_t>(ContentHash::prefixLength));
}

// Beside the comparisons it shares with `sameContent`.
bool StoredContent::sameContentAsFile(const QString& root, const QString& file,
                                      const Item& existing) {
    if (const std::optional<QByteArray> held = heldContent(existing))
        return sameBytesAs(*held, file);
    const auto stored = existing.payloadURL(root);
    if (!stored)
        return false;
    struct stat sa {
    }, sb{};
    if (::stat(QFile::encodeName(file).constData(), &sa) != 0 || !S_ISREG(sa.st_mode))
        return false;
    // The shelf's copy gone, or no file: the new content is kept.
    if (::stat(QFile::encodeName(*stored).constData(), &sb) != 0 || !S_ISREG(sb.st_mode))
        return false;
    if (sa.st_size != sb.st_size)
        return false;
    if (sa.st_size <= ContentHash::prefixLength)
        return true;
    return sameBytesFrom(file, *stored, static_cast<off_t>(ContentHash::prefixLength));
}

std::optional<Item> ItemStore::duplicateOf(const Item& candidate) const {
    for (const Item& item : m_items) {
        if (item.contentHash == candidate.contentHash && sameContent(m_root, candidate, item))
            return item;
    }
    return std::nullopt;
}

ItemStore::AddResult ItemStore::add(const Item& item) {
    if (const std::optional<Item> existing = duplicateOf(item)) {
        m_selection = {existing->id};
        if (item.id != existing->id && Files::exists(itemDirectory(item.id)))
            discardItemDirectory(item.id);
        return {AddResult::Duplicate{*existing}};
    }
    if (m_writer) {
        try {
            makeItemDirectory(item.id);
        } catch (const FileError& error) {
            Log::core().error(
                QStringLiteral("could not write item.json: %1").arg(error.description()));
            return {AddResult::Failed{item, error.description()}};
        }
        takeNewest(item);
        m_writeTickets.insert(item.id, m_writer->writeItem(item, true));
        persistIndex();
        return {AddResult::Added{item}};
    }
    try {
        // The files first: an "item.json" must never stand for content that
        // a power cut could still take away.
        flushPayload(item);
        writeMetadataThrowing(item);
    } catch (const FileError& error) {
        Log::core().error(QStringLiteral("could not write item.json: %1").arg(error.description()));
        return {AddResult::Failed{item, error.description()}};
    }
    takeNewest(item);
    try {
        writeIndexThrowing();
    } catch (const FileError& error) {
        m_items.pop_front();
        m_snapshot.reset();
        Log::core().error(
            QStringLiteral("could not write the tarvo index: %1").arg(error.description()));
        return {AddResult::Failed{item, error.description()}};
    }
    return {AddResult::Added{item}};
}

ItemStore::AddResult ItemStore::putBack(const Item& item) {
    const QString folder = itemDirectory(item.id);
    const auto kept = std::find_if(m_trash.begin(), m_trash.end(),
                                   [&](const Trash& t) { return t.id == item.id; });
    if (kept != m_trash.end() && Files::exists(kept->path) && !Files::exists(folder)) {
        try {
            DiskIO::renameDurably(kept->path, folder);
            m_trash.erase(kept);
        } catch (const FileError& error) {
            Log::core().error(QStringLiteral("could not put back %1: %2")
                                  .arg(json::uuidText(item.id), error.description()));
        }
    }
    if (const std::optional<QString> payload = item.payloadURL(m_root);
        payload && !Files::exists(*payload))
        return {AddResult::Failed{item, QStringLiteral("its file is gone")}};
    return add(item);
}

void ItemStore::flushPayload(const Item& item) {
    makeDurable(m_root, item);
}

void ItemStore::makeDurable(const QString& root, const Item& item) {
    const std::optional<QString> payload = item.payloadURL(root);
    if (!payload || !DiskIO::flushing())
        return;
    struct stat st {};
    if (::lstat(QFile::encodeName(*payload).constData(), &st) != 0)
        return; // nothing of ours to keep (a placeholder still waiting for its file)
    if (S_ISDIR(st.st_mode)) {
        // One flush of the whole file system beats one per file of a large folder.
        DiskIO::flushFileSystem(*payload);
    } else if (S_ISREG(st.st_mode)) {
        const int fd = DiskIO::openForReading(*payload, O_NONBLOCK);
        try {
            DiskIO::flushFile(fd, *payload);
        } catch (const FileError&) {
            ::close(fd);
            throw;
        }
        ::close(fd);
    }
    DiskIO::flushFolder(itemFolder(root, item.id));
}

void ItemStore::update(const Item& item, bool payloadDurable) {
    const auto it = std::find_if(m_items.begin(), m_items.end(),
                                 [&](const Item& i) { return i.id == item.id; });
    if (it == m_items.end())
        return;
    const bool completes = item.state.isReady() && !it->state.isReady();
    *it = item;
    m_snapshot.reset();
    if (m_writer) {
        queueItem(item, completes && !payloadDurable);
        persistIndex();
        return;
    }
    if (completes && !payloadDurable) {
        try {
            flushPayload(item);
        } catch (const FileError& error) {
            Log::core().error(
                QStringLiteral("could not write item.json: %1").arg(error.description()));
        }
    }
    writeMetadata(item);
    persistIndex();
}

std::optional<QString> ItemStore::moveToTrash(const QUuid& id) {
    const QString folder = itemDirectory(id);
    if (!Files::exists(folder))
        return std::nullopt;
    const QString trash = m_root + u'/' + QLatin1String(trashPrefix) + json::uuidText(id) + u'.' +
                          json::uuidText(QUuid::createUuid());
    try {
        DiskIO::rename(folder, trash);
        return trash;
    } catch (const FileError& error) {
        Log::core().error(QStringLiteral("could not remove item %1 atomically: %2")
                              .arg(json::uuidText(id), error.description()));
        removeInPlace(folder);
        return std::nullopt;
    }
}

void ItemStore::scheduleDeletion(const QString& path) {
    m_deleter.start([path] { Files::removeRecursively(path); });
}

// One timer for every folder kept aside, armed for the earliest: a trim that
// removes thousands of items must not register thousands of timers.
void ItemStore::keepForGrace(const QUuid& id, const QString& path) {
    m_trash.push_back({id, path, QDeadlineTimer(static_cast<qint64>(m_removalGrace * 1000))});
    if (!m_graceTimer->isActive())
        m_graceTimer->start(static_cast<int>(m_trash.front().due.remainingTime()));
}

void ItemStore::deleteExpiredTrash() {
    while (!m_trash.empty() && m_trash.front().due.hasExpired()) {
        scheduleDeletion(m_trash.front().path);
        m_trash.erase(m_trash.begin());
    }
    if (!m_trash.empty())
        m_graceTimer->start(static_cast<int>(m_trash.front().due.remainingTime()));
}

bool ItemStore::forget(const QSet<QUuid>& ids) {
    struct Aside {
        QUuid id;
        QString path;
    };
    std::vector<Aside> aside;
    std::vector<QUuid> inPlace; // their "item.json" is gone, the rest follows
    std::optional<QString> failure;
    for (const QUuid& id : ids) {
        const QString folder = itemDirectory(id);
        if (!Files::exists(folder))
            continue;
        const QString trash = m_root + u'/' + QLatin1String(trashPrefix) + json::uuidText(id) +
                              u'.' + json::uuidText(QUuid::createUuid());
        try {
            DiskIO::rename(folder, trash);
            aside.push_back({id, trash});
            continue;
        } catch (const FileError& error) {
            Log::core().error(QStringLiteral("could not remove item %1 atomically: %2")
                                  .arg(json::uuidText(id), error.description()));
        }
        // Without its "item.json" a folder can never load again, whatever
        // else of it a power cut leaves.
        try {
            DiskIO::removeFile(folder + u'/' + QLatin1String(metadataName));
            DiskIO::flushFolder(folder);
            inPlace.push_back(id);
        } catch (const FileError& error) {
            failure = error.description();
            break;
        }
    }
    // Once the renames are on the disk the removal holds whatever happens to
    // the index: a start drops listed items whose folder is gone, and only
    // a folder still in place could come back.
    if (!failure && !aside.empty()) {
        try {
            DiskIO::flushFolder(m_root);
        } catch (const FileError& error) {
            failure = error.description();
        }
    }
    if (failure) {
        Log::core().error(QStringLiteral("could not remove items: %1").arg(*failure));
        for (const Aside& a : aside) {
            try {
                DiskIO::rename(a.path, itemDirectory(a.id));
            } catch (const FileError& error) {
                Log::core().error(QStringLiteral("could not put back %1: %2")
                                      .arg(json::uuidText(a.id), error.description()));
            }
        }
        for (const QUuid& id : inPlace) {
            const auto it = std::find_if(m_items.begin(), m_items.end(),
                                         [&](const Item& i) { return i.id == id; });
            if (it == m_items.end())
                continue;
            try {
                writeMetadataThrowing(*it);
            } catch (const FileError& error) {
                Log::core().error(
                    QStringLiteral("could not write item.json: %1").arg(error.description()));
            }
        }
        return false;
    }

    std::erase_if(m_items, [&](const Item& i) { return ids.contains(i.id); });
    m_snapshot.reset();
    for (const QUuid& id : ids) {
        m_selection.remove(id);
        m_writeTickets.remove(id);
    }
    if (m_writer)
        m_writer->cancelItems(ids);
    for (const Aside& a : aside) {
        if (m_removalGrace > 0)
            keepForGrace(a.id, a.path);
        else
            scheduleDeletion(a.path);
    }
    for (const QUuid& id : inPlace)
        Files::removeRecursively(itemDirectory(id));
    return true;
}

void ItemStore::discardItemDirectory(const QUuid& id) {
    if (const std::optional<QString> trash = moveToTrash(id))
        scheduleDeletion(*trash);
}

bool ItemStore::remove(QUuid id) {
    if (!forget({id}))
        return false;
    persistIndex();
    return true;
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
    m_snapshot.reset();
    persistIndex();
}

bool ItemStore::clear() {
    QSet<QUuid> all;
    for (const Item& item : m_items)
        all.insert(item.id);
    if (!forget(all))
        return false;
    persistIndex();
    return true;
}

void ItemStore::takeNewest(const Item& item) {
    m_items.push_front(item);
    // The list handed out so far gains the item without being copied.
    if (m_snapshot)
        m_snapshot = m_snapshot->withNewest(item);
}

std::shared_ptr<const ItemList> ItemStore::snapshot() const {
    if (!m_snapshot)
        m_snapshot = ItemList::make({m_items.begin(), m_items.end()});
    return m_snapshot;
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
    if (expired.empty() || !forget(QSet<QUuid>(expired.begin(), expired.end())))
        return {};
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
    if (removed.empty() || !forget(QSet<QUuid>(removed.begin(), removed.end())))
        return {};
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
    waitForWrites();
    for (const Item& item : m_items) {
        // A file that already holds these bytes is left alone: rewriting and
        // flushing thousands of unchanged files would hold up every quit.
        const QString path = itemDirectory(item.id) + u'/' + QLatin1String(metadataName);
        QFile current(path);
        if (current.open(QIODevice::ReadOnly) && current.readAll() == json::write(item.toJson()))
            continue;
        writeMetadataThrowing(item);
    }
    writeIndexThrowing();
}

} // namespace tarvo
