#include "Fingerprint.h"

#include "FileError.h"
#include "Files.h"
#include "Sha256.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::Fingerprint {

namespace {

using Files::Fd;

[[noreturn]] void fail(const char* operation, const QString& path, int code) {
    throw FileError(QString::fromLatin1(operation), path, code);
}

QString childPath(const QString& folder, const QByteArray& relative) {
    return folder + u'/' + QFile::decodeName(relative);
}

qint64 nanoseconds(const timespec& t) {
    return static_cast<qint64>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

QByteArray readLink(int parent, const char* name, const struct stat& st, const QString& path) {
    QByteArray target(static_cast<qsizetype>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlinkat(parent, name, target.data(), static_cast<size_t>(target.size()));
    if (n < 0)
        fail("read", path, errno);
    target.truncate(n);
    return target;
}

void walk(int folder, const QByteArray& prefix, const QString& root, std::vector<Entry>& out) {
    const std::vector<std::string> names = Files::namesIn(folder, childPath(root, prefix));

    for (const std::string& name : names) {
        const QByteArray relative =
            prefix.isEmpty() ? QByteArray::fromStdString(name) : prefix + '/' + name.c_str();
        struct stat st {};
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue; // gone since the listing: it is not there any more
            fail("read", childPath(root, relative), errno);
        }
        Entry entry;
        entry.relativePath = relative;
        entry.modified = nanoseconds(st.st_mtim);
        entry.inode = static_cast<quint64>(st.st_ino);
        if (S_ISREG(st.st_mode)) {
            entry.kind = Entry::Kind::file;
            entry.size = static_cast<qint64>(st.st_size);
            out.push_back(std::move(entry));
        } else if (S_ISLNK(st.st_mode)) {
            entry.kind = Entry::Kind::link;
            entry.linkTarget = readLink(folder, name.c_str(), st, childPath(root, relative));
            entry.size = entry.linkTarget.size();
            out.push_back(std::move(entry));
        } else if (S_ISDIR(st.st_mode)) {
            entry.kind = Entry::Kind::folder;
            out.push_back(std::move(entry));
            const Fd child(
                ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!child.valid())
                fail("open", childPath(root, relative), errno);
            walk(child.get(), relative, root, out);
        }
        // FIFOs, sockets and devices are never copied or delivered: left out.
    }
}

void feedText(Sha256& sha, const QByteArray& text) {
    sha.feedLittleEndian(static_cast<quint64>(text.size()));
    sha.feed(text);
}

QString wholeFile(const QString& path) {
    const Fd fd(::open(QFile::encodeName(path).constData(),
                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid())
        fail("open", path, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        fail("read", path, errno);
    if (!S_ISREG(st.st_mode))
        fail("open", path, EINVAL);

    Sha256 sha;
    sha.feedLittleEndian(sha.feedFile(fd.get(), ~quint64(0), path));
    return QStringLiteral("file:") + sha.hex();
}

QString wholeFolder(const QString& path) {
    Sha256 sha;
    for (const Entry& entry : manifest(path)) {
        feedText(sha, entry.relativePath);
        sha.feed(&entry.kind, 1);
        sha.feedLittleEndian(static_cast<quint64>(entry.size));
        sha.feedLittleEndian(static_cast<quint64>(entry.modified));
        sha.feedLittleEndian(entry.inode);
        feedText(sha, entry.linkTarget);
    }
    return QStringLiteral("folder:") + sha.hex();
}

} // namespace

std::vector<Entry> manifest(const QString& folder) {
    const Fd fd(::open(QFile::encodeName(folder).constData(),
                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid())
        fail("open", folder, errno);
    std::vector<Entry> entries;
    walk(fd.get(), QByteArray(), folder, entries);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.relativePath < b.relativePath; });
    return entries;
}

bool sameContent(const std::vector<Entry>& a, const std::vector<Entry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Entry& x, const Entry& y) {
        if (x.relativePath != y.relativePath || x.kind != y.kind)
            return false;
        if (x.kind == Entry::Kind::folder)
            return true;
        return x.size == y.size && x.modified == y.modified && x.linkTarget == y.linkTarget;
    });
}

QString ofWritten(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        fail("open", path, errno);
    if (S_ISDIR(st.st_mode))
        return wholeFolder(path);
    if (S_ISLNK(st.st_mode)) {
        Sha256 sha;
        feedText(sha, readLink(AT_FDCWD, native.constData(), st, path));
        return QStringLiteral("link:") + sha.hex();
    }
    return wholeFile(path);
}

} // namespace tarvo::Fingerprint
