#pragma once

#include <QString>

#include <string>
#include <vector>

// File-system helpers shared by the stores. Paths are local and absolute.
namespace tarvo::Files {

// An open file descriptor, closed when this goes.
class Fd final {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Hands the descriptor over without closing it.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// Creates `path` and every missing folder above it; an existing folder is no
// error. Throws FileError (a regular file in the way gives ENOTDIR or EEXIST).
void makeDirectories(const QString& path);

// Removes a file or a folder with everything in it, never following symbolic
// links. Returns false when something could not be removed (or nothing was there).
bool removeRecursively(const QString& path);

// Sum of the sizes of every file below `path` (links count as themselves,
// folders as 0); 0 when the folder is missing.
qint64 folderSize(const QString& path);

// The names in the folder open at `folderFd`, without "." and "..", in the
// order the file system lists them. The descriptor stays open. Throws
// FileError ("read", with `path` for the message) when the folder cannot be
// listed.
std::vector<std::string> namesIn(int folderFd, const QString& path);

bool exists(const QString& path);
bool isRegularFile(const QString& path);

} // namespace tarvo::Files
