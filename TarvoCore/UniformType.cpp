#include "UniformType.h"

#include <QMimeDatabase>

namespace tarvo::UniformType {

std::optional<QMimeType> forFilenameExtension(const QString& extension) {
    if (extension.isEmpty())
        return std::nullopt;
    const QMimeDatabase db;
    const QList<QMimeType> types = db.mimeTypesForFileName(QStringLiteral("x.") + extension);
    if (types.isEmpty() || !types.first().isValid())
        return std::nullopt;
    return types.first();
}

bool conformsToImage(const QMimeType& type) {
    if (type.name().startsWith(QLatin1String("image/")))
        return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.begin(), ancestors.end(),
                       [](const QString& a) { return a.startsWith(QLatin1String("image/")); });
}

bool conformsToHeic(const QMimeType& type) {
    return type.inherits(QStringLiteral("image/heic")) ||
           type.inherits(QStringLiteral("image/heif")) ||
           type.inherits(QStringLiteral("image/heic-sequence")) ||
           type.inherits(QStringLiteral("image/heif-sequence"));
}

bool conformsToPdf(const QMimeType& type) {
    return type.inherits(QStringLiteral("application/pdf"));
}

} // namespace tarvo::UniformType
