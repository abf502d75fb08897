#include "DropReceiver.h"

#include "FileCopier.h"
#include "StoredName.h"

#include "TarvoConvert/ConversionError.h"
#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/AtomicFile.h"
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Json.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Log.h"
#include "TarvoCore/UniformType.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/FilePromiseReceiver.h"
#include "TarvoPlatform/Pasteboard.h"
#include "TarvoPlatform/TypeMapping.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTextBoundaryFinder>

#include <cmath>
#include <sys/stat.h>

namespace tarvo {

struct DropReceiver::Promise {
    std::unique_ptr<ScheduledWork> timeout;
    QString fallbackName;
    // What the drop offered besides its promised files, taken when the
    // promise cannot be kept.
    std::optional<Item> instead;
};

namespace {

// The last component of a local path, also for a folder given with a
// trailing slash.
QString lastPathComponent(const QString& path) {
    return QFileInfo(QDir::cleanPath(path)).fileName();
}

std::optional<QByteArray> nonEmpty(std::optional<QByteArray> data) {
    if (data && data->isEmpty())
        return std::nullopt;
    return data;
}

std::optional<QByteArray> pngFromTIFF(const QByteArray& tiff) {
    QImage image;
    if (!image.loadFromData(tiff, "TIFF") || image.isNull())
        return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return std::nullopt;
    return png;
}

// Counts user-perceived characters, so an emoji or an accented letter is one.
std::vector<qsizetype> graphemeBoundaries(const QString& text) {
    std::vector<qsizetype> bounds;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary())
        bounds.push_back(at);
    return bounds;
}

QString trimmedSpacesAndTabs(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (start < end && blank(text.at(start)))
        ++start;
    while (end > start && blank(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

} // namespace

DropReceiver::DropReceiver(ItemStore& store, Clock& clock) : m_store(store), m_clock(clock) {
    m_operationQueue.setObjectName(QStringLiteral("com.tarvoapp.Tarvo.promises"));
    m_copyQueue.setObjectName(QStringLiteral("com.tarvoapp.Tarvo.drops"));
    m_copyQueue.setMaxThreadCount(2);
}

DropReceiver::~DropReceiver() {
    *m_alive = false;
    m_promises.clear(); // cancels every timeout
    m_operationQueue.waitForDone();
    m_copyQueue.waitForDone();
}

// --- helpers -----------------------------------------------------------------

Item DropReceiver::newItem(const QUuid& id, const std::optional<QString>& source) const {
    Item item;
    item.id = id;
    item.state = ItemState::ready();
    item.sourceBundleID = source;
    item.addedAt = m_clock.now();
    item.pinned = false;
    return item;
}

void DropReceiver::removeFolder(const QUuid& id) {
    m_store.discardItemDirectory(id);
}

// The item the store now holds for this content: the new one, or the one that
// was already there. A failed write of the store leaves nothing behind.
std::optional<Item> DropReceiver::take(const Item& item) {
    const ItemStore::AddResult result = m_store.add(item);
    if (result.is<ItemStore::AddResult::Failed>()) {
        removeFolder(item.id);
        return std::nullopt;
    }
    if (result.is<ItemStore::AddResult::Duplicate>())
        removeFolder(item.id);
    return result.item();
}

// --- accept ------------------------------------------------------------------

std::vector<Item> DropReceiver::accept(const Pasteboard& pasteboard,
                                       const std::optional<QString>& sourceBundleID) {
    std::vector<Item> result = acceptPromises(pasteboard, sourceBundleID);
    if (result.empty()) {
        result = m_copiesOnWorker ? acceptFileURLsOnWorker(pasteboard, sourceBundleID)
                                  : acceptFileURLs(pasteboard, sourceBundleID);
    }
    if (result.empty()) {
        using Single =
            std::optional<Item> (DropReceiver::*)(const Pasteboard&, const std::optional<QString>&);
        for (Single kind : {&DropReceiver::acceptImageData, &DropReceiver::acceptRichText,
                            &DropReceiver::acceptURL, &DropReceiver::acceptString}) {
            if (std::optional<Item> item = (this->*kind)(pasteboard, sourceBundleID)) {
                result.push_back(std::move(*item));
                break;
            }
        }
    }
    if (!result.empty() && onItemsAdded)
        onItemsAdded(result);
    return result;
}

std::vector<Item> DropReceiver::acceptPromises(const Pasteboard& pasteboard,
                                               const std::optional<QString>& source) {
    const std::vector<std::shared_ptr<FilePromiseReceiver>> receivers =
        pasteboard.readFilePromiseReceivers();
    if (receivers.empty())
        return {};
    // Read now: the pasteboard is gone by the time a promise is answered.
    const std::optional<Item> instead = offeredBesidePromises(pasteboard, source);
    std::vector<Item> placeholders;
    for (const std::shared_ptr<FilePromiseReceiver>& receiver : receivers) {
        const QUuid id = QUuid::createUuid();
        const QStringList names = receiver->fileNames();
        QString fallbackName = names.isEmpty() ? QString() : lastPathComponent(names.first());
        if (fallbackName.isEmpty() || fallbackName == QLatin1String(".") ||
            fallbackName == QLatin1String(".."))
            fallbackName = QStringLiteral("File");

        QString folder;
        try {
            folder = m_store.makeItemDirectory(id);
        } catch (const FileError&) {
            continue;
        }
        Item placeholder = newItem(id, source);
        placeholder.payload = ItemPayload::file(StoredName::forDroppedName(fallbackName));
        placeholder.state = ItemState::receiving();
        placeholder.displayName = fallbackName;
        placeholder.contentHash = QStringLiteral("pending-") + json::uuidText(id);

        const ItemStore::AddResult result = m_store.add(placeholder);
        if (result.is<ItemStore::AddResult::Failed>()) {
            removeFolder(id);
            continue;
        }
        if (!result.is<ItemStore::AddResult::Added>())
            continue;
        placeholders.push_back(placeholder);
        receive(*receiver, folder, id, fallbackName, instead);
    }
    return placeholders;
}

std::vector<Item> DropReceiver::acceptFileURLs(const Pasteboard& pasteboard,
                                               const std::optional<QString>& source) {
    std::vector<Item> taken;
    for (const QUrl& url : pasteboard.readURLs(true)) {
        const QString path = url.toLocalFile();
        // Content already on the shelf is not copied a second time.
        if (std::optional<Item> held = itemHolding(path)) {
            m_store.setSelection({held->id});
            taken.push_back(std::move(*held));
            continue;
        }
        const QString name = lastPathComponent(path);
        const QUuid id = QUuid::createUuid();
        QString folder;
        try {
            folder = m_store.makeItemDirectory(id);
        } catch (const FileError&) {
            continue;
        }
        const QString stored = StoredName::forDroppedName(name);
        const QString copy = folder + u'/' + stored;
        try {
            FileCopier::copy(path, copy);
        } catch (const FileError& error) {
            Log::drag().error(QStringLiteral("could not copy %1: %2").arg(name, error.reason()));
            removeFolder(id);
            continue;
        }
        QString hash;
        try {
            hash = ContentHash::ofPath(copy);
        } catch (const FileError&) {
            removeFolder(id);
            continue;
        }
        Item item = newItem(id, source);
        item.payload = storedPayload(copy, stored);
        item.displayName = name.isEmpty() ? stored : name;
        item.sourceURL = url;
        item.contentHash = hash;
        if (std::optional<Item> kept = take(item))
            taken.push_back(std::move(*kept));
    }
    return taken;
}

std::optional<Item> DropReceiver::acceptImageData(const Pasteboard& pasteboard,
                                                  const std::optional<QString>& source) {
    const std::optional<QByteArray> png = nonEmpty(pasteboard.data(TypeIdentifier::png));
    const std::optional<QByteArray> tiff =
        png ? std::nullopt : nonEmpty(pasteboard.data(TypeIdentifier::tiff));
    if (!png && !tiff)
        return std::nullopt;

    const QUuid id = QUuid::createUuid();
    QString folder;
    try {
        folder = m_store.makeItemDirectory(id);
    } catch (const FileError&) {
        return std::nullopt;
    }
    const QString name = QStringLiteral("Pasted Image ") +
                         timestamp(m_clock.now(), QTimeZone::systemTimeZone()) +
                         QStringLiteral(".png");
    const std::optional<QByteArray> bytes = png ? png : pngFromTIFF(*tiff);
    const QString file = folder + u'/' + name;
    try {
        if (!bytes)
            throw FileError(QStringLiteral("convert"), file, EINVAL);
        // Flushed with the item when it is added, not twice.
        AtomicFile::writeUnflushed(*bytes, file);
    } catch (const FileError&) {
        removeFolder(id);
        return std::nullopt;
    }
    QString hash;
    try {
        hash = ContentHash::ofPath(file);
    } catch (const FileError&) {
        removeFolder(id);
        return std::nullopt;
    }
    Item item = newItem(id, source);
    item.payload = ItemPayload::image(name);
    item.displayName = name;
    item.contentHash = hash;
    return take(item);
}

std::optional<Item> DropReceiver::acceptRichText(const Pasteboard& pasteboard,
                                                 const std::optional<QString>& source) {
    const std::optional<QByteArray> rtfd = pasteboard.data(TypeIdentifier::flatRTFD);
    const std::optional<QByteArray> rtf =
        rtfd ? std::nullopt : pasteboard.data(TypeIdentifier::rtf);
    if (!rtfd && !rtf)
        return std::nullopt;

    QString text;
    try {
        text =
            rtfd ? TextConverter::plainTextFromRTFD(*rtfd) : TextConverter::plainTextFromRTF(*rtf);
    } catch (const ConversionError&) {
        text.clear();
    }
    if (text.isEmpty())
        return std::nullopt;
    const QByteArray& kept = rtfd ? *rtfd : *rtf;
    const QString name = rtfd ? QStringLiteral("Snippet.rtfd") : QStringLiteral("Snippet.rtf");

    const QUuid id = QUuid::createUuid();
    try {
        const QString folder = m_store.makeItemDirectory(id);
        AtomicFile::writeUnflushed(kept, folder + u'/' + name);
    } catch (const FileError&) {
        removeFolder(id);
        return std::nullopt;
    }
    Item item = newItem(id, source);
    item.payload = ItemPayload::richText(name, text);
    item.displayName = previewName(text);
    item.contentHash = ContentHash::of(kept);
    return take(item);
}

std::optional<Item>
DropReceiver::offeredBesidePromises(const Pasteboard& pasteboard,
                                    const std::optional<QString>& source) const {
    // Only the kinds read at once: files and image data would be read whole
    // on every drop of a promise, kept or not.
    if (std::optional<Item> link = linkOn(pasteboard, source))
        return link;
    return textOn(pasteboard, source);
}

std::optional<Item> DropReceiver::takeWithoutFiles(const std::optional<Item>& item) {
    if (!item)
        return std::nullopt;
    try {
        m_store.makeItemDirectory(item->id);
    } catch (const FileError&) {
        // the item lives in item.json alone
    }
    return take(*item);
}

std::optional<Item> DropReceiver::acceptURL(const Pasteboard& pasteboard,
                                            const std::optional<QString>& source) {
    return takeWithoutFiles(linkOn(pasteboard, source));
}

std::optional<Item> DropReceiver::linkOn(const Pasteboard& pasteboard,
                                         const std::optional<QString>& source) const {
    const QList<QUrl> urls = pasteboard.readURLs(false);
    if (urls.isEmpty() || urls.first().isLocalFile())
        return std::nullopt;
    const QUrl url = urls.first();
    const QString absolute = url.toString(QUrl::FullyEncoded);

    std::optional<QString> title = pasteboard.string(TypeIdentifier::urlName);
    if (!title) {
        const std::optional<QString> plain = pasteboard.string(TypeIdentifier::utf8PlainText);
        if (plain && *plain != absolute)
            title = plain;
    }
    if (title && title->isEmpty())
        title.reset(); // an empty title would leave the item without a name

    Item item = newItem(QUuid::createUuid(), source);
    item.payload = ItemPayload::url(url, title);
    item.displayName = title ? *title : (!url.host().isEmpty() ? url.host() : absolute);
    item.contentHash = ContentHash::ofString(absolute);
    return item;
}

std::optional<Item> DropReceiver::acceptString(const Pasteboard& pasteboard,
                                               const std::optional<QString>& source) {
    return takeWithoutFiles(textOn(pasteboard, source));
}

std::optional<Item> DropReceiver::textOn(const Pasteboard& pasteboard,
                                         const std::optional<QString>& source) const {
    const std::optional<QString> text = pasteboard.string(TypeIdentifier::utf8PlainText);
    if (!text || text->isEmpty())
        return std::nullopt;
    Item item = newItem(QUuid::createUuid(), source);
    item.payload = ItemPayload::text(*text);
    item.displayName = previewName(*text);
    item.contentHash = ContentHash::ofString(*text);
    return item;
}

// --- promises ----------------------------------------------------------------

void DropReceiver::receive(FilePromiseReceiver& receiver, const QString& folder,
                           const QUuid& itemID, const QString& fallbackName,
                           const std::optional<Item>& instead) {
    const quint64 serial = m_nextPromise++;
    auto promise = std::make_unique<Promise>();
    promise->fallbackName = fallbackName;
    promise->instead = instead;
    const std::weak_ptr<bool> alive = m_alive;
    promise->timeout = m_clock.schedule(promiseTimeout, [this, alive, serial, itemID] {
        if (alive.lock())
            promiseTimedOut(serial, itemID);
    });
    m_promises.emplace(serial, std::move(promise));

    // The reader runs on the queue; only the main thread touches the store.
    receiver.receivePromisedFiles(
        folder, [](const QString& suggested) { return StoredName::forDroppedName(suggested); },
        m_operationQueue,
        [this, alive, serial, itemID](const QString& file, const std::optional<QString>& error) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [this, alive, serial, itemID, file, error] {
                    if (const auto live = alive.lock(); live && *live)
                        promiseAnswered(serial, itemID, file, error);
                },
                Qt::QueuedConnection);
        });
}

void DropReceiver::promiseTimedOut(quint64 promise, const QUuid& itemID) {
    const auto it = m_promises.find(promise);
    if (it == m_promises.end())
        return;
    const std::optional<Item> instead = std::move(it->second->instead);
    m_promises.erase(it);
    broken(itemID, instead);
}

void DropReceiver::broken(const QUuid& itemID, const std::optional<Item>& instead) {
    const std::optional<Item> placeholder = m_store.item(itemID);
    if (!instead || !placeholder) {
        fail(itemID, L10n::itemFailed());
        return;
    }
    // The placeholder becomes what else was offered, where it stands.
    Item item = *placeholder;
    item.payload = instead->payload;
    item.displayName = instead->displayName;
    item.contentHash = instead->contentHash;
    item.state = ItemState::ready();
    settle(item);
}

void DropReceiver::promiseAnswered(quint64 promise, const QUuid& itemID, const QString& file,
                                   const std::optional<QString>& error) {
    const auto it = m_promises.find(promise);
    if (it == m_promises.end()) {
        // Too late, or a further file of an answered promise.
        discardLateFile(itemID, file);
        return;
    }
    const QString fallbackName = it->second->fallbackName;
    const std::optional<Item> instead = std::move(it->second->instead);
    m_promises.erase(it); // cancels the timeout
    if (error) {
        Log::drag().error(QStringLiteral("promise failed: %1").arg(*error));
        discardLateFile(itemID, file);
        broken(itemID, instead);
        return;
    }
    complete(itemID, file, fallbackName);
}

// A file that arrives for nothing is removed, but only inside the item's own
// folder, and never the file a ready item holds.
void DropReceiver::discardLateFile(const QUuid& itemID, const QString& file) {
    if (file.isEmpty())
        return;
    const QString folder = m_store.itemDirectory(itemID);
    const QFileInfo info(file);
    if (QDir::cleanPath(info.absolutePath()) != QDir::cleanPath(folder))
        return;
    const std::optional<Item> item = m_store.item(itemID);
    if (item && item->state.isReady() && item->payload.fileName() == info.fileName())
        return;
    if (!Files::exists(file))
        return;
    Files::removeRecursively(file);
    if (!item)
        QDir().rmdir(folder); // only when nothing else is left in it
}

void DropReceiver::complete(const QUuid& itemID, const QString& file, const QString& fallbackName) {
    const std::optional<Item> placeholder = m_store.item(itemID);
    if (!placeholder) {
        discardLateFile(itemID, file);
        return;
    }
    const QFileInfo info(file);
    QString name = info.fileName();
    if (name.isEmpty())
        name = fallbackName;

    // The item can only hold a file of its own folder.
    const QString folder = m_store.itemDirectory(itemID);
    if (info.fileName().isEmpty() ||
        QDir::cleanPath(info.absolutePath()) != QDir::cleanPath(folder)) {
        fail(itemID, L10n::itemFailed());
        return;
    }
    QString hash;
    try {
        hash = ContentHash::ofPath(file);
    } catch (const FileError&) {
        fail(itemID, L10n::itemFailed());
        return;
    }

    Item item = *placeholder;
    item.payload = storedPayload(file, name);
    item.displayName = name;
    item.state = ItemState::ready();
    item.contentHash = hash;
    settle(item);
}

void DropReceiver::settle(const Item& item) {
    const QUuid& itemID = item.id;
    if (const std::optional<Item> existing = m_store.duplicateOf(item);
        existing && existing->id != itemID) {
        m_store.remove(itemID);
        m_store.setSelection({existing->id});
        if (onDuplicateLanded)
            onDuplicateLanded(*existing);
        return;
    }
    m_store.update(item);
    if (onItemUpdated)
        onItemUpdated(item);
}

void DropReceiver::fail(const QUuid& itemID, const QString& reason) {
    std::optional<Item> item = m_store.item(itemID);
    if (!item)
        return;
    item->state = ItemState::failed(reason);
    m_store.update(*item);
    if (onItemUpdated)
        onItemUpdated(*item);
}

// --- static helpers ----------------------------------------------------------

QString DropReceiver::previewName(const QString& text) {
    QString line = text;
    for (const QString& piece : text.split(u'\n', Qt::SkipEmptyParts)) {
        line = piece;
        break;
    }
    if (line.endsWith(u'\r'))
        line.chop(1); // the end of a CR LF line, not part of its text
    line = trimmedSpacesAndTabs(line);
    // Line breaks alone are no name either.
    if (line.count(u'\n') + line.count(u'\r') == line.size())
        line.clear();
    if (line.isEmpty())
        return L10n::itemTextSnippet();
    const std::vector<qsizetype> bounds = graphemeBoundaries(line);
    if (bounds.size() >= 29)
        return line.left(bounds[26]) + QChar(0x2026);
    return line;
}

QString DropReceiver::timestamp(Date date, const QTimeZone& timeZone) {
    const auto ms = static_cast<qint64>(std::floor(date.secondsSince1970() * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(ms, timeZone)
        .toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss"));
}

bool DropReceiver::isImage(const QString& path) {
    return storedPayload(path, QString()).isImage();
}

ItemPayload DropReceiver::storedPayload(const QString& path, const QString& name) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return ItemPayload::file(name, true);
    const std::optional<QMimeType> type =
        UniformType::forFilenameExtension(QFileInfo(path).suffix().toLower());
    return type && UniformType::conformsToImage(*type) ? ItemPayload::image(name)
                                                       : ItemPayload::file(name);
}

} // namespace tarvo
