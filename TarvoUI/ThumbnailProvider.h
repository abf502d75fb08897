#pragma once

#include "TarvoCore/Item.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QUuid>

#include <functional>
#include <optional>

namespace tarvo {

// The picture each item shows on the shelf. Answers from memory when it can,
// else from the PNG cached in the item's folder, else decodes the stored file
// on a worker pool; files that are no image get their type's icon, text items
// a painted page of their text, items without a file the app tile. Main
// thread; decoding happens on the provider's own pool.
class ThumbnailProvider final : public QObject {
public:
    static constexpr int pointSize = 56;
    static constexpr int scale = 3;
    static constexpr int pixelSize = pointSize * scale; // 168
    static constexpr const char* cacheFileName = "thumbnail-v4.png";

    // Receives the picture, or a null image when there is none to show.
    using Completion = std::function<void(const QImage& image)>;
    // Makes the picture of a stored file on a worker thread; null when the
    // file is no picture. Tests replace it to hold or count answers.
    using Decoder = std::function<QImage(const QString& path, int pixels)>;

    // `containerRoot` is the item store's root: each item's folder is the
    // root plus the item identifier.
    explicit ThumbnailProvider(QString containerRoot, Decoder decoder = {});
    ~ThumbnailProvider() override;
    ThumbnailProvider(const ThumbnailProvider&) = delete;
    ThumbnailProvider& operator=(const ThumbnailProvider&) = delete;

    // The picture already in memory; never touches the disk.
    std::optional<QImage> cached(const Item& item) const;

    // Calls `completion` at once from memory, the disk cache, the text tile or
    // the app tile; otherwise once the worker has answered. A request for an
    // item whose decode is already under way does nothing: the first
    // request's completion delivers the picture.
    void thumbnail(const Item& item, Completion completion);

    // Forgets the item's picture in memory and on disk. A decode still under
    // way for it is disowned: its answer is dropped rather than bringing the
    // old picture back, and the next request starts afresh.
    void invalidate(const QUuid& itemID);

    // Waits until no decode is running (for tests and shutdown).
    void waitForWorkers();
    bool isInFlight(const QUuid& itemID) const { return m_inFlight.contains(itemID); }

    // A 168 x 168 page with the start of `text` on it; null when it cannot
    // be made.
    static QImage textTile(const QString& text);
    // The app tile as a 168 x 168 picture.
    static QImage appTile();

private:
    QImage loadDiskCache(const QUuid& itemID) const;
    void writeDiskCache(const QByteArray& png, const QUuid& itemID) const;
    QStringList staleCacheURLs(const QUuid& itemID) const;
    QString cacheURL(const QUuid& itemID) const;
    void answered(const QUuid& itemID, quint64 generation, const QString& path, QImage image,
                  const QByteArray& png, const Completion& completion);
    static QImage iconFor(const QString& path);

    QHash<QUuid, QImage> m_memoryCache;
    QSet<QUuid> m_inFlight;
    QString m_containerRoot;
    // Bumped by invalidate, so that an answer to an older request is known.
    QHash<QUuid, quint64> m_generation;
    Decoder m_decoder;
    QThreadPool m_pool;
};

} // namespace tarvo
