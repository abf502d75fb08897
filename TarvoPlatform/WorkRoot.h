#pragma once

#include <QString>

#include <sys/types.h>

// The per-user parent folder of the working folders of drags out of the
// shelf. It must belong to this user alone: in a folder others can write to,
// another user could make the folder first and read or replace what the
// conversions write.
namespace tarvo::WorkRoot {

// "Tarvo" in $XDG_RUNTIME_DIR when that is set and a folder, else
// "Tarvo-<uid>" in the temporary directory; created with mode 0700. Throws
// FileError when the folder cannot be made or is not this user's own.
QString prepare();

// The same, with the environment given: `runtimeDir` may be empty, `uid` is
// the user who must own the folder.
QString prepare(const QString& runtimeDir, const QString& tempDir, uid_t uid);

// Makes `path` a folder of mode 0700 owned by `uid`, or checks that it is one
// already: a symbolic link, a file, or a folder of another owner is refused
// with FileError; a folder of ours that others may enter is closed to them.
void ensurePrivateFolder(const QString& path, uid_t uid);

// How long a drag's working folder is kept after it was last written to.
inline constexpr int keepSeconds = 10 * 60;

// Removes the working folders in `root` that nothing was written into for
// `olderThanSeconds`: those of drags that ended without cleaning up, or
// whose files a destination was handed long ago. The work root lives in
// memory ($XDG_RUNTIME_DIR), so nothing may pile up there. Entries that are
// no folders of this user are left alone. Returns how many went.
int sweep(const QString& root, int olderThanSeconds = keepSeconds);

} // namespace tarvo::WorkRoot
