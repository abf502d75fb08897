#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

// Fingerprints that see every change, where a content hash reads only the
// first MiB of a file and only the name and time of a folder: the whole
// content of a file, and the manifest of a folder (every entry below it).
// They cost a full read or walk, so they run off the main thread.
namespace tarvo::Fingerprint {

// One entry below a folder, in the folder's manifest.
struct Entry {
    enum class Kind : char { file = 'f', folder = 'd', link = 'l' };

    QByteArray relativePath; // from the folder, with "/" between components
    Kind kind = Kind::file;
    qint64 size = 0;     // bytes of a file, of a link's target text; 0 for a folder
    qint64 modified = 0; // nanoseconds since 1970
    quint64 inode = 0;
    QByteArray linkTarget;

    bool operator==(const Entry&) const = default;
};

// Every file, folder and symbolic link below `folder`, sorted by relative
// path; links are not followed and other kinds of entry are left out. Throws
// FileError when the folder or one below it cannot be read.
std::vector<Entry> manifest(const QString& folder);

// Whether two manifests describe the same content in two places: the same
// paths, kinds, sizes, link targets and file times. Inodes and the times of
// folders are where copies differ, so they are not compared.
bool sameContent(const std::vector<Entry>& a, const std::vector<Entry>& b);

// What a delivered file or folder is compared with before undo deletes it:
// a file's SHA-256 over all of its bytes, a folder's over its whole manifest
// (inodes included, so a replaced file shows), a link's over its target.
// Kinds never share a value. Throws FileError when it cannot be read, or
// when the path is none of the three.
QString ofWritten(const QString& path);

} // namespace tarvo::Fingerprint
