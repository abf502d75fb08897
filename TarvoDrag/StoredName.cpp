#include "StoredName.h"

#include "TarvoCore/AtomicFile.h"

#include <QStringList>

namespace tarvo::StoredName {

namespace {

const QStringList& storeFiles() {
    static const QStringList names{
        QStringLiteral("item.json"),        QStringLiteral("thumbnail.png"),
        QStringLiteral("thumbnail-v2.png"), QStringLiteral("thumbnail-v3.png"),
        QStringLiteral("thumbnail-v4.png"),
    };
    return names;
}

QString numbered(const QString& name, int number) {
    // The extension starts at the last dot that is not the first character,
    // so ".hidden" and "archive" get the number at the end.
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString suffix = QStringLiteral(" %1").arg(number);
    if (dot <= 0)
        return name + suffix;
    return name.left(dot) + suffix + name.mid(dot);
}

} // namespace

bool isReserved(const QString& name) {
    if (storeFiles().contains(name))
        return true;
    return AtomicFile::isTemporaryName(name);
}

QString forDroppedName(const QString& name) {
    QString safe = name;
    safe.remove(QChar(u'\0'));
    if (safe.contains(u'/'))
        safe = safe.section(u'/', -1, -1, QString::SectionSkipEmpty);
    if (safe.isEmpty() || safe == QLatin1String(".") || safe == QLatin1String(".."))
        return QStringLiteral("File");
    if (!isReserved(safe))
        return safe;
    for (int number = 2;; ++number) {
        const QString candidate = numbered(safe, number);
        if (!isReserved(candidate))
            return candidate;
    }
}

} // namespace tarvo::StoredName
