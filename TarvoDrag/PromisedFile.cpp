#include "PromisedFile.h"

#include "FileCopier.h"

#include "TarvoCore/AtomicFile.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::PromisedFile {

namespace {

// A copy is flushed before it is renamed, so that a crash never leaves a
// file of the right name and the wrong content.
void flush(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return; // a folder copied whole cannot always be opened; nothing to flush then
    ::fsync(fd);
    ::close(fd);
}

// Moves `from` to `to` only when nothing is there: what stands at the
// promised place is never replaced, not even when it appeared while the file
// was being made.
void renameIntoPlace(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return;
    if (errno != EINVAL && errno != ENOSYS)
        throw FileError(QStringLiteral("write"), to, errno);
    // A file system without that flag: a hard link never replaces either; a
    // folder can only be looked for first.
    struct stat st {};
    if (::lstat(source.constData(), &st) != 0)
        throw FileError(QStringLiteral("write"), to, errno);
    if (S_ISDIR(st.st_mode)) {
        if (::lstat(target.constData(), &st) == 0)
            throw FileError(QStringLiteral("write"), to, EEXIST);
        if (::rename(source.constData(), target.constData()) != 0)
            throw FileError(QStringLiteral("write"), to, errno);
        return;
    }
    if (::link(source.constData(), target.constData()) != 0)
        throw FileError(QStringLiteral("write"), to, errno);
    ::unlink(source.constData());
}

} // namespace

QString temporaryPath(const QString& path) {
    return AtomicFile::temporaryPath(path, QUuid::createUuid());
}

void place(const ConversionResult& result, const QString& temporary, const QString& path,
           const std::atomic<bool>* abandoned) {
    const auto checkWanted = [&] {
        if (abandoned && abandoned->load())
            throw FileError(QStringLiteral("write"), path, ECANCELED);
    };
    try {
        if (const auto* text = result.as<ConversionResult::Text>()) {
            Files::removeRecursively(temporary);
            AtomicFile::write(text->text.toUtf8(), temporary, AtomicFile::Access::shared);
            checkWanted();
            renameIntoPlace(temporary, path);
            return;
        }
        const QString source = *result.url();
        if (QDir::cleanPath(source) == QDir::cleanPath(path))
            return; // already where it was promised
        if (QDir::cleanPath(source) != QDir::cleanPath(temporary)) {
            // The stored file itself, or a file made elsewhere: copied, never moved.
            Files::removeRecursively(temporary);
            FileCopier::copy(source, temporary, Files::Access::shared);
            flush(temporary);
        }
        checkWanted();
        renameIntoPlace(temporary, path);
    } catch (const FileError&) {
        Files::removeRecursively(temporary);
        throw;
    }
}

} // namespace tarvo::PromisedFile
