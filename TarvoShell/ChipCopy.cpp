#include "ChipCopy.h"

#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"
#include "TarvoDrag/FileCopier.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::ChipCopy {

namespace {

// Past this many taken names the folder is not worth searching further.
constexpr int maxNumber = 10000;

bool take(const QString& path, bool directory) {
    const QByteArray native = QFile::encodeName(path);
    if (directory)
        return ::mkdir(native.constData(), 0777) == 0;
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Gives a reservation back only while it is still the empty entry we made.
void release(const QString& path, bool directory) {
    const QByteArray native = QFile::encodeName(path);
    if (directory) {
        ::rmdir(native.constData());
        return;
    }
    struct stat info {};
    if (::lstat(native.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0)
        ::unlink(native.constData());
}

} // namespace

QString numberedName(const QString& name, int n) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1)
        return QStringLiteral("%1 %2").arg(name).arg(n);
    return QStringLiteral("%1 %2.%3").arg(name.left(dot)).arg(n).arg(name.mid(dot + 1));
}

std::optional<QString> reserve(const QString& name, const QString& folder, bool directory) {
    const QDir dir(folder);
    for (int n = 1; n <= maxNumber; ++n) {
        const QString path = dir.filePath(n == 1 ? name : numberedName(name, n));
        if (take(path, directory))
            return path;
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

Outcome copyInto(const QList<QUrl>& files, const QString& folder) {
    Outcome outcome;
    for (const QUrl& url : files) {
        const QString source = url.toLocalFile();
        const QFileInfo info(source);
        const QString name = info.fileName();
        if (source.isEmpty() || name.isEmpty() || !info.exists()) {
            outcome.failures.append(QStringLiteral("%1: no such file").arg(url.toString()));
            continue;
        }
        const bool directory = info.isDir();
        const std::optional<QString> target = reserve(name, folder, directory);
        if (!target) {
            outcome.failures.append(
                QStringLiteral("%1: %2").arg(name, QString::fromLocal8Bit(strerror(errno))));
            continue;
        }
        const QString temporary = QDir(folder).filePath(
            QStringLiteral(".%1.%2.tmp")
                .arg(name, QUuid::createUuid().toString(QUuid::WithoutBraces)));
        try {
            FileCopier::copy(source, temporary, Files::Access::shared);
            if (::rename(QFile::encodeName(temporary).constData(),
                         QFile::encodeName(*target).constData()) != 0)
                throw FileError(QStringLiteral("move"), *target, errno);
            outcome.copied.push_back({source, *target});
        } catch (const FileError& error) {
            Files::removeRecursively(temporary);
            release(*target, directory);
            outcome.failures.append(error.description());
        }
    }
    return outcome;
}

} // namespace tarvo::ChipCopy
