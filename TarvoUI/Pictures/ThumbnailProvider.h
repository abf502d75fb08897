#pragma once

#include "TarvoCore/Item.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUuid>

#include <functional>
#include <list>
#include <optional>

namespace tarvo {

// The picture each item shows on the shelf. Answers from memory when it can,
// else from the PNG cached in the item's folder, else decodes the stored file;
// files that are no image get their type's icon, text items a painted page of
// their text, items without a file the app tile. Main thread; reading,
// decoding and painting happen on the provider's own pool and the cache files
// are written and deleted on a queue of their own, so the main thread never
// waits for the disk. Memory keeps the pictures last shown within a byte
// budget.
class ThumbnailProvider final : public QObject {
public:
    static constexpr int pointSize = 56;
    static constexpr int scale = 3;
    static constexpr int pixelSize = pointSize * scale; // 168
    static constexpr const char* cacheFileName = "thumbnail-v4.png";
    // About 220 tiles: several screens of the strip, a small part of a long
    // shelf.
    static constexpr qsizetype defaultMemoryBudget = 24 * 1024 * 1024;

    // Receives the picture, or a null image when there is none to show.
    using Completion = std::function<void(const QImage& image)>;
    // Makes the picture of a stored file on a worker thread; null when the
    // file is no picture. Tests replace it to hold or count answers.
    using Decoder = std::function<QImage(const QString& path, int pixels)>;

    // `containerRoot` is the item store's root: each item's folder is the
    // root plus the item identifier.
    explicit ThumbnailProvider(QString containerRoot, Decoder decoder = {},
                               qsizetype memoryBudget = defaultMemoryBudget);
    ~ThumbnailProvider() override;
    ThumbnailProvider(const ThumbnailProvider&) = delete;
    ThumbnailProvider& operator=(const ThumbnailProvider&) = delete;

    // The picture already in memory; never touches the disk.
    std::optional<QImage> cached(const Item& item) const;

    // Calls `completion` at once from memory; otherwise once the worker has
    // read the disk cache, painted the text or app tile or decoded the file.
    // A request for an item whose picture is already under way does nothing:
    // the first request's completion delivers it. A hit counts as a showing:
    // the pictures shown longest ago leave memory first.
    void thumbnail(const Item& item, Completion completion);

    // Forgets the item's picture in memory and on disk. A decode still under
    // way for it is disowned: its answer is dropped rather than bringing the
    // old picture back, and the next request starts afresh.
    void invalidate(const QUuid& itemID);

    // Waits until no decode, read or cache write is running (for tests and
    // shutdown).
    void waitForWorkers();
    bool isInFlight(const QUuid& itemID) const { return m_inFlight.contains(itemID); }
    // Whether the item's stored file was a folder when its picture was made;
    // known from the worker's look at the disk, so asking never touches it.
    bool isFolder(const QUuid& itemID) const { return m_folders.contains(itemID); }
    // The bytes of the pictures kept in memory, and how many there are.
    qsizetype memoryBytes() const { return m_memoryBytes; }
    qsizetype memoryCount() const { return m_memoryCache.size(); }

    // A 168 x 168 page with the start of `text` on it; null when it cannot
    // be made.
    static QImage textTile(const QString& text);
    // The app tile as a 168 x 168 picture.
    static QImage appTile();

private:
    // What a worker found: a picture (from the disk cache, decoded or
    // painted) or, for a file that is no picture, its type's icon names.
    struct Found {
        QImage image;
        QByteArray png;        // to write to the disk cache; empty: nothing to write
        QStringList icons;     // the file's icon names, best first
        bool isFile = false;   // the item has a stored file
        bool isFolder = false; // and it is a folder
    };
    Found find(const Item& item) const;
    QImage loadDiskCache(const QUuid& itemID) const;
    void writeDiskCache(const QByteArray& png, const QUuid& itemID) const;
    QStringList staleCacheURLs(const QUuid& itemID) const;
    QString cacheURL(const QUuid& itemID) const;
    void answered(const QUuid& itemID, quint64 generation, Found found,
                  const Completion& completion);
    QImage iconTile(const QStringList& names);
    void remember(const QUuid& itemID, const QImage& image);
    void forget(const QUuid& itemID);
    static QStringList iconNames(const QString& path, bool& isFolder);

    struct Kept {
        QImage image;
        std::list<QUuid>::iterator recency;
    };
    QHash<QUuid, Kept> m_memoryCache;
    // Most recently shown first.
    std::list<QUuid> m_recency;
    qsizetype m_memoryBytes = 0;
    qsizetype m_memoryBudget;
    // One tile per set of icon names: painted once a run, shared by every
    // file of the type.
    QHash<QString, QImage> m_iconTiles;
    QSet<QUuid> m_inFlight;
    QSet<QUuid> m_folders;
    QString m_containerRoot;
    // Bumped by invalidate, so that an answer to an older request is known.
    QHash<QUuid, quint64> m_generation;
    Decoder m_decoder;
    QThreadPool m_pool;
    // One thread: cache writes and deletions happen in the order asked.
    QThreadPool m_diskQueue;
};

} // namespace tarvo
