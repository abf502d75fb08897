#pragma once

#include <QString>

#include <functional>

// The calls that decide whether data reaches the disk in one piece: flushes,
// renames, opening for reading and writing. They go through here so that a
// test can watch their order and fail any of them, which is how power cuts,
// full disks and unreadable files are tested without a real fault.
namespace tarvo::DiskIO {

enum class Call {
    open,            // opening a file of ours, or a dropped one, for reading
    write,           // writing file contents
    flushFile,       // fdatasync of one file
    flushFolder,     // fsync of a folder, making its renames and new names durable
    flushFileSystem, // syncfs of the file system holding a path
    rename,          // `path` renamed to `other`
    remove,          // a file of ours unlinked
};

// Sees every call before it is made; answers 0 to let it go ahead or an
// errno to fail it with. One for the whole process; tests only.
using Observer = std::function<int(Call call, const QString& path, const QString& other)>;
void setObserver(Observer observer);

// Flushes can be turned off to measure what they cost; on unless turned off.
void setFlushing(bool on);
bool flushing();

// Asks the observer about a call made elsewhere; returns the errno to fail with.
int check(Call call, const QString& path, const QString& other = {});

// Each throws FileError naming `path`.
int openForReading(const QString& path, int extraFlags = 0);
void writeAll(int fd, const char* data, qint64 size, const QString& path);
void flushFile(int fd, const QString& path);
void flushFolder(const QString& folder);
void flushFileSystem(const QString& path);
void rename(const QString& from, const QString& to);
void removeFile(const QString& path);
// Renames and makes the rename durable by flushing the folder(s) involved.
void renameDurably(const QString& from, const QString& to);

} // namespace tarvo::DiskIO
