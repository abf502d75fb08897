#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

#include "Files.h"

namespace tarvo::AtomicFile {

using Files::Access;

// The hidden file beside `target` that a write goes to first:
// "." + name + "." + UUID + ".tmp".
QString temporaryPath(const QString& target, const QUuid& id);
// Whether `name` has the shape of such a temporary file's name (the UUID's
// hex digits in either case).
bool isTemporaryName(const QString& name);

// Writes `data` to a temporary file beside `target`, flushes it to disk,
// renames it over `target` and flushes the folder, so readers see the old
// file or the new one, never a part, also after a power cut. Throws
// FileError; a failed write leaves no temporary file behind (a failure of the
// last flush leaves the new file in place and is thrown all the same).
void write(const QByteArray& data, const QString& target, Access access = Access::ownerOnly);

// The same swap without any flush: readers still never see a part, but a
// power cut may take the file. For files flushed later by whoever makes them
// durable (an item's payload before its "item.json") and for caches, so that
// the thread writing never waits for the disk.
void writeUnflushed(const QByteArray& data, const QString& target,
                    Access access = Access::ownerOnly);

} // namespace tarvo::AtomicFile
