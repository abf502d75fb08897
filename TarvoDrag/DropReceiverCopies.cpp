// Dropped files and folders copied off the main thread: the shelf shows them
// at once as receiving items and goes on answering while the bytes move.
#include "DropReceiver.h"

#include "FileCopier.h"
#include "StoredName.h"

#include "TarvoCore/ContentHash.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Json.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Log.h"
#include "TarvoCore/StoredContent.h"
#include "TarvoPlatform/Pasteboard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace tarvo {

namespace {

// Only regular files and folders are copied; anything else is refused at the
// drop, as the copier would refuse it.
bool isCopyable(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
           (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode));
}

} // namespace

struct DropReceiver::Copied {
    QString hash;
    std::optional<QString> error;
    // The item that already held the content: nothing was copied.
    std::optional<QUuid> heldBy;
};

std::optional<QUuid> DropReceiver::heldAmong(const QString& root, const QString& path,
                                             const std::deque<Item>& shelf) {
    struct stat st {};
    if (shelf.empty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode))
        return std::nullopt;
    QString hash;
    try {
        hash = ContentHash::ofPath(path);
    } catch (const FileError&) {
        return std::nullopt; // the copy will say what is wrong
    }
    for (const Item& item : shelf) {
        if (item.contentHash == hash && StoredContent::sameContentAsFile(root, path, item))
            return item.id;
    }
    return std::nullopt;
}

std::optional<Item> DropReceiver::itemHolding(const QString& path) const {
    const std::optional<QUuid> id = heldAmong(m_store.root(), path, m_store.items());
    return id ? m_store.item(*id) : std::nullopt;
}

template <class Result>
void DropReceiver::onWorker(std::function<Result()> work, std::function<void(Result)> then) {
    ++m_copiesInFlight;
    const std::weak_ptr<bool> alive = m_alive;
    m_copyQueue.start([this, alive, work = std::move(work), then = std::move(then)] {
        Result result = work();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive, then, result = std::move(result)] {
                const auto live = alive.lock();
                if (!live || !*live)
                    return;
                --m_copiesInFlight;
                then(result);
            },
            Qt::QueuedConnection);
    });
}

std::vector<Item> DropReceiver::acceptFileURLsOnWorker(const Pasteboard& pasteboard,
                                                       const std::optional<QString>& source) {
    std::vector<Item> placeholders;
    for (const QUrl& url : pasteboard.readURLs(true)) {
        const QString path = url.toLocalFile();
        if (!isCopyable(path)) {
            Log::drag().error(QStringLiteral("could not copy %1: it is neither a file nor a folder")
                                  .arg(QFileInfo(path).fileName()));
            continue;
        }
        const QString name = QFileInfo(QDir::cleanPath(path)).fileName();
        const QUuid id = QUuid::createUuid();
        QString folder;
        try {
            folder = m_store.makeItemDirectory(id);
        } catch (const FileError&) {
            continue;
        }
        const QString stored = StoredName::forDroppedName(name);
        Item placeholder = newItem(id, source);
        placeholder.payload = storedPayload(path, stored);
        placeholder.displayName = name.isEmpty() ? stored : name;
        placeholder.sourceURL = url;
        placeholder.state = ItemState::receiving();
        placeholder.contentHash = QStringLiteral("pending-") + json::uuidText(id);
        const ItemStore::AddResult added = m_store.add(placeholder);
        if (!added.is<ItemStore::AddResult::Added>()) {
            removeFolder(id);
            continue;
        }
        placeholders.push_back(placeholder);

        copyOnWorker(placeholder, path, folder + u'/' + stored, m_store.items());
    }
    return placeholders;
}

void DropReceiver::copyOnWorker(const Item& placeholder, const QString& path, const QString& copy,
                                std::deque<Item> shelf) {
    const QString root = m_store.root();
    const QUuid id = placeholder.id;
    onWorker<Copied>(
        [path, copy, root, placeholder, shelf = std::move(shelf)] {
            Copied copied;
            if ((copied.heldBy = heldAmong(root, path, shelf)))
                return copied;
            try {
                FileCopier::copy(path, copy);
                copied.hash = ContentHash::ofPath(copy);
                ItemStore::makeDurable(root, placeholder);
            } catch (const FileError& error) {
                copied.error = error.reason();
            }
            return copied;
        },
        [this, id, copy](const Copied& copied) { copyFinished(id, copy, copied); });
}

// A failed file is copied again from where it was dropped from, as at its
// first drop; a promise cannot be asked for again once its drag is over.
void DropReceiver::retry(const QUuid& itemID) {
    std::optional<Item> item = m_store.item(itemID);
    if (!item || !item->state.is<ItemState::Failed>())
        return;
    Log::drag().notice(QStringLiteral("retry requested for %1").arg(json::uuidText(itemID)));
    const std::optional<QString> fileName = item->payload.fileName();
    const QString source = item->sourceURL && item->sourceURL->isLocalFile()
                               ? item->sourceURL->toLocalFile()
                               : QString();
    if (!fileName || source.isEmpty() || !isCopyable(source)) {
        fail(itemID, L10n::itemSourceGone());
        return;
    }
    QString copy;
    try {
        copy = m_store.makeItemDirectory(itemID) + u'/' + *fileName;
        // What a copy that failed half-way may have left.
        if (Files::exists(copy))
            Files::removeRecursively(copy);
    } catch (const FileError& error) {
        Log::drag().error(
            QStringLiteral("could not copy %1: %2").arg(item->displayName, error.reason()));
        fail(itemID, L10n::itemFailed());
        return;
    }
    item->state = ItemState::receiving();
    m_store.update(*item);
    if (onItemUpdated)
        onItemUpdated(*item);
    copyOnWorker(*item, source, copy, m_store.items());
}

void DropReceiver::copyFinished(const QUuid& itemID, const QString& copy, const Copied& copied) {
    const std::optional<Item> placeholder = m_store.item(itemID);
    if (!placeholder)
        return; // removed while it copied; its folder went with it
    if (copied.heldBy) {
        if (const std::optional<Item> existing = m_store.item(*copied.heldBy)) {
            m_store.remove(itemID);
            m_store.setSelection({existing->id});
            if (onDuplicateLanded)
                onDuplicateLanded(*existing);
            return;
        }
        // The item holding it went meanwhile: the content is new after all.
        if (placeholder->sourceURL)
            copyOnWorker(*placeholder, placeholder->sourceURL->toLocalFile(), copy, {});
        else
            fail(itemID, L10n::itemFailed());
        return;
    }
    if (const std::optional<QString>& error = copied.error) {
        Log::drag().error(
            QStringLiteral("could not copy %1: %2").arg(placeholder->displayName, *error));
        if (Files::exists(copy))
            Files::removeRecursively(copy);
        fail(itemID, L10n::itemFailed());
        return;
    }
    Item item = *placeholder;
    item.contentHash = copied.hash;
    item.state = ItemState::ready();
    settleCopy(item, {});
}

// The content may already be on the shelf: items with the same fingerprint
// are compared on the worker, and the comparison is repeated for any that
// arrived meanwhile, before the copy counts as new.
void DropReceiver::settleCopy(const Item& item, QSet<QUuid> compared) {
    std::vector<Item> others;
    for (const Item& existing : m_store.items()) {
        if (existing.id != item.id && existing.contentHash == item.contentHash &&
            !compared.contains(existing.id))
            others.push_back(existing);
    }
    if (others.empty()) {
        m_store.update(item, true);
        if (onItemUpdated)
            onItemUpdated(item);
        return;
    }
    for (const Item& other : others)
        compared.insert(other.id);
    const QString root = m_store.root();
    onWorker<std::optional<QUuid>>(
        [root, item, others]() -> std::optional<QUuid> {
            for (const Item& other : others) {
                if (ItemStore::sameContent(root, item, other))
                    return other.id;
            }
            return std::nullopt;
        },
        [this, item, compared](const std::optional<QUuid>& same) {
            if (!m_store.item(item.id))
                return;
            const std::optional<Item> existing = same ? m_store.item(*same) : std::nullopt;
            if (!existing) {
                settleCopy(item, compared);
                return;
            }
            m_store.remove(item.id);
            m_store.setSelection({existing->id});
            if (onDuplicateLanded)
                onDuplicateLanded(*existing);
        });
}

} // namespace tarvo
