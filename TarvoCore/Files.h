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

// Who may read a new file: the stores' own files are the user's alone; files
// handed to other programs get the modes of any new file (less the umask).
enum class Access { ownerOnly, shared };

// What the user keeps in the stores is theirs alone: folders are made
// owner-only, files read and written by the owner (who keeps a file's
// execute bit).
inline constexpr unsigned ownerFolderMode = 0700;
constexpr unsigned ownerFileMode(unsigned mode) {
    return 0600 | (mode & 0100);
}

// Creates `path` and every missing folder above it, each owner-only whatever
// the umask; an existing folder is no error and keeps its mode. Throws
// FileError (a regular file in the way gives ENOTDIR or EEXIST).
void makeDirectories(const QString& path);

// Brings a folder and everything below it to the owner-only modes, never
// following a link; what cannot be changed is left as it is.
void tighten(const QString& path);
// One folder or file only.
void tightenOne(const QString& path);

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
