#include "ThumbnailProvider.h"

#include "AppIcons.h"
#include "IconRenderer.h"
#include "ThumbnailDecoder.h"

#include "TarvoCore/AtomicFile.h"
#include "TarvoCore/FileError.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace tarvo {

namespace {

// A show asks for the pictures of every tile it lays out while it draws its
// first frames: the workers that make them yield the processor to the main
// thread, and there are few of them, for each one made costs the main thread
// a thread start and loads fonts of its own.
constexpr int pictureWorkers = 2;
constexpr int pictureWorkerNice = 10;

// The nice value is a thread's own on Linux, and the pool's threads serve it
// alone. A thread starts with its maker's value.
void yieldToTheMainThread() {
    thread_local bool lowered = false;
    if (std::exchange(lowered, true))
        return;
    const auto thread = static_cast<id_t>(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, thread);
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, thread, std::min(nice + pictureWorkerNice, 19));
}

QImage blankTile() {
    QImage image(ThumbnailProvider::pixelSize, ThumbnailProvider::pixelSize,
                 QImage::Format_ARGB32_Premultiplied);
    if (!image.isNull())
        image.fill(Qt::transparent);
    return image;
}

QByteArray encodePng(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return png;
}

// Without a desktop of its own (a bare window manager, the offscreen
// platform) Qt knows no icon theme and no folder to look for one in: file
// icons then come from the system's icon folders and the common theme.

} // namespace

ThumbnailProvider::ThumbnailProvider(QString containerRoot, Decoder decoder, qsizetype memoryBudget)
    : m_memoryBudget(memoryBudget), m_containerRoot(std::move(containerRoot)),
      m_decoder(std::move(decoder)) {
    if (!m_decoder)
        m_decoder = &ThumbnailDecoder::decode;
    m_pool.setMaxThreadCount(pictureWorkers);
    m_diskQueue.setMaxThreadCount(1);
    AppIcons::ensureIconTheme();
}

ThumbnailProvider::~ThumbnailProvider() {
    m_pool.clear();
    m_pool.waitForDone();
    m_diskQueue.waitForDone();
}

std::optional<QImage> ThumbnailProvider::cached(const Item& item) const {
    const auto found = m_memoryCache.constFind(item.id);
    if (found == m_memoryCache.constEnd())
        return std::nullopt;
    return found->image;
}

void ThumbnailProvider::remember(const QUuid& itemID, const QImage& image) {
    forget(itemID);
    m_recency.push_front(itemID);
    m_memoryCache.insert(itemID, {image, m_recency.begin()});
    m_memoryBytes += image.sizeInBytes();
    // The picture just made stays, even when it alone is over the budget.
    while (m_memoryBytes > m_memoryBudget && m_recency.size() > 1)
        forget(m_recency.back());
}

void ThumbnailProvider::forget(const QUuid& itemID) {
    const auto found = m_memoryCache.find(itemID);
    if (found == m_memoryCache.end())
        return;
    m_memoryBytes -= found->image.sizeInBytes();
    m_recency.erase(found->recency);
    m_memoryCache.erase(found);
}

void ThumbnailProvider::thumbnail(const Item& item, Completion completion) {
    const QUuid id = item.id;
    if (const auto found = m_memoryCache.find(id); found != m_memoryCache.end()) {
        m_recency.splice(m_recency.begin(), m_recency, found->recency);
        const QImage image = found->image;
        completion(image);
        return;
    }
    if (m_inFlight.contains(id))
        return;

    m_inFlight.insert(id);
    const quint64 generation = m_generation.value(id);
    m_pool.start([this, item, generation, completion = std::move(completion)] {
        yieldToTheMainThread();
        Found found = find(item);
        // Queued to the provider: dropped when it is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, id = item.id, generation, found = std::move(found), completion]() mutable {
                answered(id, generation, std::move(found), completion);
            },
            Qt::QueuedConnection);
    });
}

// On a worker: everything that reads the disk or paints.
ThumbnailProvider::Found ThumbnailProvider::find(const Item& item) const {
    Found found;
    const auto* text = item.payload.as<ItemPayload::Text>();
    const auto* rich = item.payload.as<ItemPayload::RichText>();
    if (text || rich) {
        found.image = textTile(text ? text->text : rich->plain);
        if (found.image.isNull())
            found.image = appTile();
        return found;
    }
    const auto path = item.payloadURL(m_containerRoot);
    if (!path) {
        found.image = appTile();
        return found;
    }
    found.isFile = true;
    found.image = loadDiskCache(item.id);
    if (!found.image.isNull())
        return found;
    found.image = m_decoder(*path, pixelSize);
    if (!found.image.isNull()) {
        // The PNG is made here too, so that the cache write only copies bytes.
        found.png = encodePng(found.image);
        return found;
    }
    found.icons = iconNames(*path, found.isFolder);
    return found;
}

void ThumbnailProvider::answered(const QUuid& itemID, quint64 generation, Found found,
                                 const Completion& completion) {
    if (generation != m_generation.value(itemID))
        return; // invalidated while under way: this picture is out of date
    m_inFlight.remove(itemID);
    if (found.isFolder)
        m_folders.insert(itemID);
    else
        m_folders.remove(itemID);
    QImage image = std::move(found.image);
    if (image.isNull() && !found.icons.isEmpty())
        image = iconTile(found.icons);
    if (image.isNull()) {
        completion(QImage());
        return;
    }
    remember(itemID, image);
    // An icon stays in memory only: a file that failed to decode once must
    // not show an icon on every later run.
    if (!found.png.isEmpty()) {
        m_diskQueue.start(
            [this, png = std::move(found.png), itemID] { writeDiskCache(png, itemID); });
    }
    completion(image);
}

void ThumbnailProvider::invalidate(const QUuid& itemID) {
    forget(itemID);
    m_folders.remove(itemID);
    if (m_inFlight.remove(itemID))
        ++m_generation[itemID];
    // After any write queued before it.
    m_diskQueue.start([file = cacheURL(itemID)] { QFile::remove(file); });
}

void ThumbnailProvider::waitForWorkers() {
    m_pool.waitForDone();
    m_diskQueue.waitForDone();
}

QString ThumbnailProvider::cacheURL(const QUuid& itemID) const {
    return itemFolder(m_containerRoot, itemID) + u'/' + QLatin1String(cacheFileName);
}

QStringList ThumbnailProvider::staleCacheURLs(const QUuid& itemID) const {
    const QString folder = itemFolder(m_containerRoot, itemID) + u'/';
    return {folder + QStringLiteral("thumbnail.png"), folder + QStringLiteral("thumbnail-v2.png"),
            folder + QStringLiteral("thumbnail-v3.png")};
}

QImage ThumbnailProvider::loadDiskCache(const QUuid& itemID) const {
    for (const QString& stale : staleCacheURLs(itemID))
        QFile::remove(stale);
    QImageReader reader(cacheURL(itemID), "png");
    QImage image = reader.read();
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void ThumbnailProvider::writeDiskCache(const QByteArray& png, const QUuid& itemID) const {
    // A removed item's folder is never made again for its picture.
    if (!QFileInfo(itemFolder(m_containerRoot, itemID)).isDir())
        return;
    // A cache, not a record: replaced whole so that a reader never sees part
    // of it, but never flushed, which would hold up the main thread while a
    // large drop fills the disk. A picture a power cut takes is decoded again.
    try {
        AtomicFile::writeUnflushed(png, cacheURL(itemID));
    } catch (const FileError&) {
        // decoded again next time
    }
}

QStringList ThumbnailProvider::iconNames(const QString& path, bool& isFolder) {
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    isFolder = info.isDir();
    if (isFolder)
        return {QStringLiteral("folder")};
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    return {type.iconName(), type.genericIconName(), QStringLiteral("text-x-generic")};
}

// Icons come from the desktop's theme, which Qt reads on the main thread only;
// each type's tile is painted once a run.
QImage ThumbnailProvider::iconTile(const QStringList& names) {
    const QString key = names.join(u'|');
    if (const auto found = m_iconTiles.constFind(key); found != m_iconTiles.constEnd())
        return *found;
    QIcon icon;
    for (const QString& name : names) {
        icon = QIcon::fromTheme(name);
        if (!icon.isNull())
            break;
    }
    QImage image;
    if (!icon.isNull()) {
        image = blankTile();
        if (!image.isNull()) {
            QPainter painter(&image);
            icon.paint(&painter, QRect(0, 0, pixelSize, pixelSize));
        }
    }
    m_iconTiles.insert(key, image);
    return image;
}

QImage ThumbnailProvider::appTile() {
    QImage image = blankTile();
    if (image.isNull())
        return {};
    QPainter painter(&image);
    IconRenderer::paintTileFace(painter, QRectF(0, 0, pixelSize, pixelSize));
    return image;
}

QImage ThumbnailProvider::textTile(const QString& text) {
    QImage image(pixelSize, pixelSize, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(QColor::fromRgbF(0.961f, 0.969f, 0.98f, 1.0f));
    const QString shown = text.trimmed().left(220);
    if (shown.isEmpty())
        return image;

    QTextDocument document;
    document.setDocumentMargin(0);
    QFont font;
    // 8.5 points of the shelf's own units, whatever the image's resolution.
    font.setPointSizeF(8.5 * 72.0 / image.logicalDpiY());
    document.setDefaultFont(font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(option);
    document.setPlainText(shown);
    QTextCursor cursor(&document);
    cursor.select(QTextCursor::Document);
    QTextBlockFormat block;
    // One and a half points between a line and the next.
    block.setLineHeight(1.5, QTextBlockFormat::LineDistanceHeight);
    cursor.mergeBlockFormat(block);
    // The page's text area: 30 x 36 points, 7 from the left, 4 above the
    // bottom edge of the 56-point tile.
    const QRectF area(7, pointSize - 4 - 36, 30, 36);
    document.setTextWidth(area.width());
    // The lines that fit the area whole; the next is left out, not cut
    // through, which would leave the tops of its letters as specks.
    double shownHeight = 0;
    for (QTextBlock paragraph = document.begin(); paragraph.isValid();
         paragraph = paragraph.next()) {
        const double top = document.documentLayout()->blockBoundingRect(paragraph).top();
        const QTextLayout* layout = paragraph.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const double bottom = top + line.y() + line.ascent() + line.descent();
            if (bottom > area.height())
                break;
            shownHeight = bottom;
        }
    }

    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    painter.translate(area.topLeft());
    const QRectF lines(0, 0, area.width(), shownHeight);
    painter.setClipRect(lines);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, QColor::fromRgbF(0.239f, 0.271f, 0.329f, 1.0f));
    context.clip = lines;
    document.documentLayout()->draw(&painter, context);
    return image;
}

} // namespace tarvo
