#pragma once

#include <QByteArray>
#include <QString>

// Content fingerprints: SHA-256 over the content's byte count (unsigned 64-bit,
// least significant byte first) and its first 1 MiB, as 64 lower-case hex
// digits. A folder hashes "dir:", its name and its modification time, never its
// contents, so fingerprinting costs the same whatever the size.
namespace tarvo::ContentHash {

inline constexpr qint64 prefixLength = 1048576;

QString of(const QByteArray& data);
QString ofString(const QString& string);

// Fingerprint of a file or folder on disk (symbolic links followed). Throws
// FileError when the path cannot be opened or read, or is neither a regular
// file nor a folder: a FIFO or device is refused without blocking on it.
QString ofPath(const QString& path);

} // namespace tarvo::ContentHash
