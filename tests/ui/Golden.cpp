#include "Golden.h"

#include <QDir>
#include <QtGlobal>

#include <cstdlib>

namespace tarvo::test {

QString compareWithGolden(const QImage& image, const QString& name, int tolerance) {
    const QString path = QStringLiteral(TARVO_GOLDEN_DIR "/") + name;
    const QImage actual = image.convertToFormat(QImage::Format_ARGB32);
    if (qEnvironmentVariableIntValue("TARVO_UPDATE_GOLDEN") == 1) {
        QDir().mkpath(QStringLiteral(TARVO_GOLDEN_DIR));
        QImage stored = actual;
        stored.setDevicePixelRatio(1);
        return stored.save(path) ? QString() : QStringLiteral("could not write ") + path;
    }
    QImage expected(path);
    if (expected.isNull())
        return QStringLiteral("no golden image at ") + path;
    expected = expected.convertToFormat(QImage::Format_ARGB32);
    if (expected.size() != actual.size())
        return QStringLiteral("%1: size %2x%3, golden %4x%5")
            .arg(name)
            .arg(actual.width())
            .arg(actual.height())
            .arg(expected.width())
            .arg(expected.height());
    int worst = 0;
    QPoint where;
    for (int y = 0; y < actual.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
        const auto* e = reinterpret_cast<const QRgb*>(expected.constScanLine(y));
        for (int x = 0; x < actual.width(); ++x) {
            const int d = std::max(
                {std::abs(qRed(a[x]) - qRed(e[x])), std::abs(qGreen(a[x]) - qGreen(e[x])),
                 std::abs(qBlue(a[x]) - qBlue(e[x])), std::abs(qAlpha(a[x]) - qAlpha(e[x]))});
            if (d > worst) {
                worst = d;
                where = QPoint(x, y);
            }
        }
    }
    if (worst > tolerance)
        return QStringLiteral("%1: pixel (%2, %3) differs by %4")
            .arg(name)
            .arg(where.x())
            .arg(where.y())
            .arg(worst);
    return {};
}

} // namespace tarvo::test
