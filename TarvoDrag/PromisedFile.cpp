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

void rename(const QString& from, const QString& to) {
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw FileError(QStringLiteral("write"), to, errno);
}

} // namespace

QString temporaryPath(const QString& path) {
    return AtomicFile::temporaryPath(path, QUuid::createUuid());
}

void place(const ConversionResult& result, const QString& temporary, const QString& path) {
    try {
        if (const auto* text = result.as<ConversionResult::Text>()) {
            Files::removeRecursively(temporary);
            AtomicFile::write(text->text.toUtf8(), path);
            return;
        }
        const QString source = *result.url();
        if (QDir::cleanPath(source) == QDir::cleanPath(path))
            return; // already where it was promised
        if (QDir::cleanPath(source) != QDir::cleanPath(temporary)) {
            // The stored file itself, or a file made elsewhere: copied, never moved.
            Files::removeRecursively(temporary);
            FileCopier::copy(source, temporary);
            flush(temporary);
        }
        rename(temporary, path);
    } catch (const FileError&) {
        Files::removeRecursively(temporary);
        throw;
    }
}

} // namespace tarvo::PromisedFile
