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

namespace tarvo {

namespace {

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

ThumbnailProvider::ThumbnailProvider(QString containerRoot, Decoder decoder)
    : m_containerRoot(std::move(containerRoot)), m_decoder(std::move(decoder)) {
    if (!m_decoder)
        m_decoder = &ThumbnailDecoder::decode;
    AppIcons::ensureIconTheme();
}

ThumbnailProvider::~ThumbnailProvider() {
    m_pool.clear();
    m_pool.waitForDone();
}

std::optional<QImage> ThumbnailProvider::cached(const Item& item) const {
    const auto found = m_memoryCache.constFind(item.id);
    if (found == m_memoryCache.constEnd())
        return std::nullopt;
    return *found;
}

void ThumbnailProvider::thumbnail(const Item& item, Completion completion) {
    const QUuid id = item.id;
    if (const auto found = m_memoryCache.constFind(id); found != m_memoryCache.constEnd()) {
        completion(*found);
        return;
    }
    if (m_inFlight.contains(id))
        return;

    const auto* text = item.payload.as<ItemPayload::Text>();
    const auto* rich = item.payload.as<ItemPayload::RichText>();
    if (text || rich) {
        QImage tile = textTile(text ? text->text : rich->plain);
        if (tile.isNull())
            tile = appTile();
        m_memoryCache.insert(id, tile);
        completion(tile);
        return;
    }

    const auto path = item.payloadURL(m_containerRoot);
    if (!path) {
        const QImage tile = appTile();
        if (!tile.isNull())
            m_memoryCache.insert(id, tile);
        completion(tile);
        return;
    }

    if (const QImage disk = loadDiskCache(id); !disk.isNull()) {
        m_memoryCache.insert(id, disk);
        completion(disk);
        return;
    }

    m_inFlight.insert(id);
    const quint64 generation = m_generation.value(id);
    const Decoder decoder = m_decoder;
    const QString file = *path;
    m_pool.start([this, decoder, file, id, generation, completion = std::move(completion)] {
        QImage image = decoder(file, pixelSize);
        // The PNG is made here too, so the main thread only writes bytes.
        const QByteArray png = image.isNull() ? QByteArray() : encodePng(image);
        // Queued to the provider: dropped when it is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, id, generation, file, image = std::move(image), png, completion] {
                answered(id, generation, file, image, png, completion);
            },
            Qt::QueuedConnection);
    });
}

void ThumbnailProvider::answered(const QUuid& itemID, quint64 generation, const QString& path,
                                 QImage image, const QByteArray& png,
                                 const Completion& completion) {
    if (generation != m_generation.value(itemID))
        return; // invalidated while decoding: this picture is out of date
    m_inFlight.remove(itemID);
    const bool decoded = !image.isNull();
    if (!decoded)
        image = iconFor(path);
    if (image.isNull()) {
        completion(QImage());
        return;
    }
    m_memoryCache.insert(itemID, image);
    // An icon stays in memory only: a file that failed to decode once must
    // not show an icon on every later run.
    if (decoded && !png.isEmpty())
        writeDiskCache(png, itemID);
    completion(image);
}

void ThumbnailProvider::invalidate(const QUuid& itemID) {
    m_memoryCache.remove(itemID);
    if (m_inFlight.remove(itemID))
        ++m_generation[itemID];
    QFile::remove(cacheURL(itemID));
}

void ThumbnailProvider::waitForWorkers() {
    m_pool.waitForDone();
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

QImage ThumbnailProvider::iconFor(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    QIcon icon;
    if (info.isDir()) {
        icon = QIcon::fromTheme(QStringLiteral("folder"));
    } else {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
        icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
        if (icon.isNull())
            icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    }
    if (icon.isNull())
        return {};
    QImage image = blankTile();
    if (image.isNull())
        return {};
    QPainter painter(&image);
    icon.paint(&painter, QRect(0, 0, pixelSize, pixelSize));
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
    block.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
    cursor.mergeBlockFormat(block);
    // The page's text area: 30 x 36 points, 7 from the left, 4 above the
    // bottom edge of the 56-point tile.
    const QRectF area(7, pointSize - 4 - 36, 30, 36);
    document.setTextWidth(area.width());

    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    painter.translate(area.topLeft());
    painter.setClipRect(QRectF(QPointF(0, 0), area.size()));
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, QColor::fromRgbF(0.239f, 0.271f, 0.329f, 1.0f));
    context.clip = QRectF(QPointF(0, 0), area.size());
    document.documentLayout()->draw(&painter, context);
    return image;
}

} // namespace tarvo
