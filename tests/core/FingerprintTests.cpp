#include "TarvoCore/ContentHash.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Fingerprint.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvo;

namespace {

void setTime(const QString& path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// The same small tree in `folder`, every entry dated `seconds`.
void makeTree(const test::TempDir& dir, const QString& folder, time_t seconds) {
    dir.write(folder + "/a.txt", "alpha");
    dir.write(folder + "/sub/b.txt", "beta");
    dir.write(folder + "/sub/deeper/c.bin", QByteArray(3000, 'c'));
    ASSERT_EQ(::symlink("a.txt", QFile::encodeName(dir.file(folder + "/link")).constData()), 0);
    for (const char* entry :
         {"/a.txt", "/sub/b.txt", "/sub/deeper/c.bin", "/link", "/sub/deeper", "/sub", ""})
        setTime(dir.file(folder + entry), seconds);
}

} // namespace

TEST(Fingerprint, AFileIsFingerprintedWhole) {
    test::TempDir dir;
    const qsizetype p = ContentHash::prefixLength;
    const QString path = dir.write("big.bin", QByteArray(p + 10, 'x'));
    const QString before = Fingerprint::ofWritten(path);
    EXPECT_TRUE(before.startsWith("file:")) << before.toStdString();
    EXPECT_EQ(Fingerprint::ofWritten(dir.write("same.bin", QByteArray(p + 10, 'x'))), before);

    QByteArray edited(p + 10, 'x');
    edited[p + 5] = 'y';
    dir.write("big.bin", edited);
    EXPECT_EQ(ContentHash::ofPath(path), ContentHash::ofPath(dir.file("same.bin")))
        << "the content hash cannot see past its prefix";
    EXPECT_NE(Fingerprint::ofWritten(path), before);
}

TEST(Fingerprint, AFolderManifestListsEveryEntryBelowIt) {
    test::TempDir dir;
    makeTree(dir, "tree", 1700000000);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.file("tree/pipe")).constData(), 0600), 0);

    const std::vector<Fingerprint::Entry> entries = Fingerprint::manifest(dir.file("tree"));
    std::vector<QByteArray> paths;
    for (const Fingerprint::Entry& e : entries)
        paths.push_back(e.relativePath);
    EXPECT_EQ(paths, (std::vector<QByteArray>{"a.txt", "link", "sub", "sub/b.txt", "sub/deeper",
                                              "sub/deeper/c.bin"}))
        << "sorted, links not followed, the pipe left out";
    EXPECT_EQ(entries[0].size, 5);
    EXPECT_EQ(entries[0].modified, 1700000000LL * 1000000000LL);
    EXPECT_EQ(entries[1].kind, Fingerprint::Entry::Kind::link);
    EXPECT_EQ(entries[1].linkTarget, "a.txt");
    EXPECT_EQ(entries[5].size, 3000);
}

TEST(Fingerprint, ADeliveredFolderShowsEveryChangeBelowIt) {
    struct Case {
        const char* why;
        std::function<void(const test::TempDir&)> change;
    };
    const std::vector<Case> cases = {
        {"a file edited in place, the folder's own time untouched",
         [](const test::TempDir& d) {
             d.write("tree/sub/b.txt", "BETA");
             setTime(d.file("tree/sub"), 1700000000);
         }},
        {"a file added deep inside", [](const test::TempDir& d) { d.write("tree/sub/new", ""); }},
        {"a file removed", [](const test::TempDir& d) { QFile::remove(d.file("tree/a.txt")); }},
        {"a file replaced by another of the same size and time",
         [](const test::TempDir& d) {
             d.write("tree/other", "ALPHA");
             setTime(d.file("tree/other"), 1700000000);
             QFile::remove(d.file("tree/a.txt"));
             QFile::rename(d.file("tree/other"), d.file("tree/a.txt"));
             setTime(d.file("tree"), 1700000000);
         }},
        {"a link pointed elsewhere",
         [](const test::TempDir& d) {
             QFile::remove(d.file("tree/link"));
             ASSERT_EQ(::symlink("sub", QFile::encodeName(d.file("tree/link")).constData()), 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        test::TempDir dir;
        makeTree(dir, "tree", 1700000000);
        const QString before = Fingerprint::ofWritten(dir.file("tree"));
        EXPECT_TRUE(before.startsWith("folder:"));
        EXPECT_EQ(Fingerprint::ofWritten(dir.file("tree")), before) << "stable when untouched";
        c.change(dir);
        EXPECT_NE(Fingerprint::ofWritten(dir.file("tree")), before);
    }
}

TEST(Fingerprint, CopiesOfATreeHoldTheSameContent) {
    test::TempDir dir;
    makeTree(dir, "one", 1700000000);
    makeTree(dir, "two", 1700000000);
    setTime(dir.file("two/sub"), 1800000000); // folder times differ between copies
    const auto one = Fingerprint::manifest(dir.file("one"));
    EXPECT_TRUE(Fingerprint::sameContent(one, Fingerprint::manifest(dir.file("two"))));
    EXPECT_NE(Fingerprint::ofWritten(dir.file("one")), Fingerprint::ofWritten(dir.file("two")))
        << "other inodes: another folder for undo";

    dir.write("two/sub/b.txt", "BETA");
    setTime(dir.file("two/sub/b.txt"), 1700000000);
    EXPECT_TRUE(Fingerprint::sameContent(one, Fingerprint::manifest(dir.file("two"))))
        << "same size and time: a manifest does not read contents";
    dir.write("two/sub/b.txt", "beta, edited");
    EXPECT_FALSE(Fingerprint::sameContent(one, Fingerprint::manifest(dir.file("two"))));

    makeTree(dir, "three", 1700000000);
    dir.write("three/sub/extra.txt", "");
    setTime(dir.file("three/sub/extra.txt"), 1700000000);
    EXPECT_FALSE(Fingerprint::sameContent(one, Fingerprint::manifest(dir.file("three"))));
    EXPECT_FALSE(Fingerprint::sameContent(one, {}));
}

TEST(Fingerprint, WhatCannotBeReadThrows) {
    test::TempDir dir;
    EXPECT_THROW(Fingerprint::ofWritten(dir.file("missing")), FileError);
    EXPECT_THROW(Fingerprint::manifest(dir.file("missing")), FileError);
    const QString pipe = dir.file("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_THROW(Fingerprint::ofWritten(pipe), FileError) << "never opened, never blocks";

    ASSERT_EQ(::symlink("missing", QFile::encodeName(dir.file("dangling")).constData()), 0);
    EXPECT_TRUE(Fingerprint::ofWritten(dir.file("dangling")).startsWith("link:"));
}
