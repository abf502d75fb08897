#pragma once

#include "TarvoCore/Files.h"

#include <QString>

// Copies dropped files into the store with the fastest safe means the kernel
// offers: a reflink where the file system shares extents, else an in-kernel
// copy, else plain reads and writes.
namespace tarvo::FileCopier {

// Copies the file or folder at `source` to `destination`, which must not
// exist yet. A symbolic link at `source` stands for what it points to. Inside
// a folder, links are copied as links, FIFOs, sockets and devices are skipped
// (and never opened), and nothing is followed out of the folder. Modification
// times are kept, so a folder copied twice fingerprints the same. Into the
// store (`ownerOnly`) folders become 0700 and files 0600; out of it
// (`shared`) they take the modes of new files under the umask. Either way a
// file keeps whether its owner may run it.
// A source that is itself no regular file or folder is refused unopened.
// Throws FileError; whatever was copied before the failure stays for the
// caller to remove.
void copy(const QString& source, const QString& destination,
          Files::Access access = Files::Access::ownerOnly);

} // namespace tarvo::FileCopier
