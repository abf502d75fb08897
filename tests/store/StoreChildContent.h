#pragma once

#include "TarvoCore/Json.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QUuid>

namespace tarvo::test {

// The bytes of part `part` of item `id`: a pattern only that part holds, so a
// file cut short, left empty or swapped for another shows.
inline QByteArray childPayload(const QUuid& id, int part, qint64 size) {
    const QByteArray unit = json::uuidText(id).toLatin1() + '/' + QByteArray::number(part) + ' ';
    QByteArray bytes;
    bytes.reserve(size);
    while (bytes.size() < size)
        bytes.append(unit);
    bytes.truncate(size);
    return bytes;
}

inline QString childPartName(int part) {
    return QStringLiteral("part-%1.bin").arg(part);
}

// Whether `payload` (a file, or a folder of `parts` files) holds exactly what
// the child wrote for `id`.
inline bool childPayloadIntact(const QString& payload, const QUuid& id, int parts, qint64 size) {
    auto fileHolds = [](const QString& path, const QByteArray& expected) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.readAll() == expected;
    };
    if (parts == 0)
        return fileHolds(payload, childPayload(id, 0, size));
    if (QDir(payload).entryList(QDir::Files | QDir::Hidden).size() != parts)
        return false;
    for (int part = 0; part < parts; ++part) {
        if (!fileHolds(payload + u'/' + childPartName(part), childPayload(id, part, size)))
            return false;
    }
    return true;
}

} // namespace tarvo::test
