#include "UpdateStaging.h"

#include "TarvoCore/FileError.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::UpdateStaging {

namespace {

constexpr std::array<const char*, 4> knownExtensions = {"tar.gz", "tar.xz", "deb", "zip"};
constexpr int numberedTries = 1000;

bool isAsciiLetterOrDigit(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// Whether two regular files hold the same bytes.
bool sameContent(const QString& a, const QString& b) {
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
        return false;
    if (first.size() != second.size())
        return false;
    constexpr qint64 block = 1 << 20;
    while (!first.atEnd()) {
        const QByteArray x = first.read(block);
        const QByteArray y = second.read(block);
        if (x.isEmpty() || x != y)
            return false;
    }
    return second.atEnd();
}

bool isRegularFile(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode);
}

enum class Placed { moved, taken, failed };

// Renames without ever replacing: the kernel refuses when the name exists.
Placed renameExclusively(const QByteArray& from, const QByteArray& to, int& code) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return Placed::moved;
    code = errno;
    if (code == EEXIST)
        return Placed::taken;
    if (code != EINVAL && code != ENOSYS)
        return Placed::failed;
    // A file system without that kind of rename: a hard link is just as exclusive.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return Placed::moved;
    }
    code = errno;
    return code == EEXIST ? Placed::taken : Placed::failed;
}

} // namespace

bool isSafeVersion(const QString& shortVersion) {
    if (shortVersion.isEmpty() || shortVersion.size() > maxVersionLength)
        return false;
    if (shortVersion.startsWith(u'.') || shortVersion.contains(QStringLiteral("..")))
        return false;
    for (const QChar c : shortVersion) {
        const char16_t u = c.unicode();
        if (!isAsciiLetterOrDigit(u) && u != u'.' && u != u'-' && u != u'_')
            return false;
    }
    return true;
}

std::optional<QString> archiveExtension(const QUrl& url) {
    const QString segment = url.path(QUrl::FullyDecoded).section(u'/', -1);
    const QString lower = segment.toLower();
    for (const char* known : knownExtensions) {
        const QString suffix = u'.' + QString::fromLatin1(known);
        if (lower.endsWith(suffix) && lower.size() > suffix.size())
            return QString::fromLatin1(known);
    }
    // No extension: the part after the last dot is empty or the dot leads the name.
    const qsizetype dot = segment.lastIndexOf(u'.');
    if (dot <= 0 || dot == segment.size() - 1)
        return QStringLiteral("zip");
    return std::nullopt;
}

std::optional<QString> fileName(const AppcastItem& item) {
    if (!isSafeVersion(item.shortVersion))
        return std::nullopt;
    const auto extension = archiveExtension(item.url);
    if (!extension)
        return std::nullopt;
    return QStringLiteral("Tarvo-") + item.shortVersion + u'.' + *extension;
}

QString downloadsDirectory(const std::optional<QString>& given, const QString& downloadLocation,
                           const std::function<QString()>& workRoot) {
    if (given)
        return *given;
    if (!downloadLocation.isEmpty() && QFileInfo(downloadLocation).isDir())
        return downloadLocation;
    return workRoot();
}

QString moveIntoPlace(const QString& temporary, const QString& folder, const QString& name) {
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    QString base = name;
    QString suffix;
    for (const char* known : knownExtensions) {
        const QString candidate = u'.' + QString::fromLatin1(known);
        if (name.endsWith(candidate)) {
            base = name.chopped(candidate.size());
            suffix = candidate;
            break;
        }
    }
    const QByteArray from = QFile::encodeName(temporary);
    for (int n = 1; n <= numberedTries; ++n) {
        const QString target = prefix + (n == 1 ? name : base + u' ' + QString::number(n) + suffix);
        const QByteArray to = QFile::encodeName(target);
        int code = 0;
        switch (renameExclusively(from, to, code)) {
        case Placed::moved:
            return target;
        case Placed::taken:
            // The same archive staged by an earlier check stays the one copy.
            if (isRegularFile(to) && sameContent(target, temporary)) {
                ::unlink(from.constData());
                return target;
            }
            continue;
        case Placed::failed:
            throw FileError(QStringLiteral("move"), target, code);
        }
    }
    throw FileError(QStringLiteral("move"), prefix + name, EEXIST);
}

} // namespace tarvo::UpdateStaging
