#include "OnboardingArt.h"

#include "TarvoCore/FileError.h"
#include "TarvoCore/Log.h"
#include "TarvoPlatform/WorkRoot.h"
#include "IconRenderer.h"

#include <QDir>
#include <QPainter>
#include <QRadialGradient>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace tarvo {

namespace OB {
QColor paper() {
    return QColor::fromRgbF(0.953f, 0.961f, 0.973f);
}
QColor card() {
    return Qt::white;
}
QColor ink() {
    return QColor::fromRgbF(0.071f, 0.078f, 0.098f);
}
QColor muted() {
    return QColor::fromRgbF(0.408f, 0.427f, 0.471f);
}
QColor cobalt() {
    return QColor::fromRgbF(0.184f, 0.357f, 0.918f);
}
QColor warning() {
    return QColor::fromRgbF(0.761f, 0.255f, 0.047f);
}
} // namespace OB

namespace OnboardingSample {

QString fileName() {
    return QStringLiteral("Tarvo sample.png");
}

const QImage& image() {
    static const QImage sample = [] {
        QImage pixels(512, 512, QImage::Format_ARGB32_Premultiplied);
        pixels.fill(Qt::transparent);
        QPainter painter(&pixels);
        painter.setRenderHint(QPainter::Antialiasing);
        IconRenderer::paintTileFace(painter, QRectF(0, 0, 512, 512));
        return pixels;
    }();
    return sample;
}

QString writeInto(const QString& folder) {
    const QString path = QDir(folder).filePath(fileName());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image().save(&file, "PNG") || !file.commit()) {
        Log::ui().error(
            QStringLiteral("could not write the tutorial's sample: %1").arg(file.errorString()));
        return {};
    }
    return path;
}

QString filePath() {
    static const QString path = [] {
        // The user's own work folder, never a folder other users can write
        // to: the sample is dragged as a file, so nobody else may replace it.
        QString folder;
        try {
            folder = WorkRoot::prepare();
        } catch (const FileError& error) {
            Log::ui().error(
                QStringLiteral("no folder for the tutorial's sample: %1").arg(error.description()));
            folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
                     QStringLiteral("/Tarvo");
            return QDir(folder).filePath(fileName());
        }
        const QString written = writeInto(folder);
        return written.isEmpty() ? QDir(folder).filePath(fileName()) : written;
    }();
    return path;
}

QPixmap icon(int size, qreal devicePixelRatio) {
    const int pixels = std::max(1, qRound(size * devicePixelRatio));
    QPixmap pixmap = QPixmap::fromImage(
        image().scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace OnboardingSample

namespace SilkAssets {

namespace {

struct Blob {
    double x, y, r;
    float red, green, blue, opacity;
};

QImage paintHero() {
    constexpr int width = 1016;
    constexpr int height = 436;
    QImage hero(width, height, QImage::Format_ARGB32_Premultiplied);
    hero.fill(QColor::fromRgbF(0.951f, 0.961f, 0.976f));
    QPainter painter(&hero);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    // Positions count from the top of the picture; radii from its width.
    const Blob blobs[] = {
        {0.8, 0.28, 0.62, 0.184f, 0.357f, 0.918f, 0.85f},
        {0.2, 0.74, 0.64, 0.545f, 0.702f, 0.98f, 0.9f},
        {0.66, 0.84, 0.52, 0.788f, 0.878f, 0.988f, 0.7f},
        {0.24, 0.16, 0.52, 0.447f, 0.518f, 0.702f, 0.35f},
    };
    for (const Blob& blob : blobs) {
        const QPointF centre(blob.x * width, blob.y * height);
        const double radius = blob.r * width;
        QRadialGradient gradient(centre, radius);
        gradient.setColorAt(0, QColor::fromRgbF(blob.red, blob.green, blob.blue, blob.opacity));
        gradient.setColorAt(1, QColor::fromRgbF(blob.red, blob.green, blob.blue, 0));
        gradient.setSpread(QGradient::PadSpread);
        painter.setBrush(gradient);
        painter.drawEllipse(centre, radius, radius);
    }

    // A fixed grain, so the picture is the same on every run: cells from the
    // bottom row up, left to right, each lit or darkened by a xorshift
    // sequence from one seed.
    const int cell = std::clamp(width / 220, 1, 2);
    quint64 state = 0x51C411D5;
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int up = 0; up < height; up += cell) {
        for (int x = 0; x < width; x += cell) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            if (state % 100 >= 22)
                continue;
            const QColor grain = state % 2 == 0 ? QColor::fromRgbF(0, 0, 0, 0.045f)
                                                : QColor::fromRgbF(1, 1, 1, 0.063f);
            painter.fillRect(QRect(x, height - up - cell, cell, cell), grain);
        }
    }
    return hero;
}

} // namespace

const QImage& hero() {
    static const QImage picture = paintHero();
    return picture;
}

} // namespace SilkAssets

} // namespace tarvo
