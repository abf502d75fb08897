#include "TarvoCore/FileError.h"
#include "TarvoPlatform/WorkRoot.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvo;
using namespace tarvo::test;

namespace {

mode_t modeOf(const QString& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &status), 0);
    return status.st_mode & 07777;
}

void age(const QString& path, int seconds) {
    const timespec when[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), when, 0), 0);
}

int refusal(const QString& runtime, const QString& temp, uid_t uid) {
    try {
        WorkRoot::prepare(runtime, temp, uid);
    } catch (const FileError& error) {
        return error.code();
    }
    return 0;
}

TEST(WorkRoot, LivesInTheRuntimeFolderElseInAFolderOfTheUser) {
    TempDir dir;
    QDir().mkpath(dir.file("runtime"));
    QDir().mkpath(dir.file("tmp"));
    const uid_t me = ::getuid();
    struct Case {
        const char* name;
        QString runtime;
        QString expected;
    };
    const Case cases[] = {
        {"a runtime folder", dir.file("runtime"), dir.file("runtime/Tarvo")},
        {"no runtime folder", QString(), dir.file("tmp/Tarvo-%1").arg(me)},
        {"a runtime folder that does not exist", dir.file("nowhere"),
         dir.file("tmp/Tarvo-%1").arg(me)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WorkRoot::prepare(c.runtime, dir.file("tmp"), me), c.expected);
        EXPECT_EQ(modeOf(c.expected), 0700u);
        // Preparing again finds it in order.
        EXPECT_EQ(WorkRoot::prepare(c.runtime, dir.file("tmp"), me), c.expected);
    }
}

TEST(WorkRoot, ClosesAFolderOfOursThatOthersCouldEnter) {
    TempDir dir;
    const QString root = dir.file("Tarvo");
    ASSERT_EQ(::mkdir(QFile::encodeName(root).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(root).constData(), 0777), 0);
    WorkRoot::ensurePrivateFolder(root, ::getuid());
    EXPECT_EQ(modeOf(root), 0700u);
}

TEST(WorkRoot, RefusesWhatAnotherUserCouldHavePrepared) {
    TempDir dir;
    QDir().mkpath(dir.file("tmp"));
    const uid_t me = ::getuid();
    const uid_t other = me + 1;

    // Made by this process, so for `other` it is another user's folder.
    const QString foreign = dir.file("tmp/Tarvo-%1").arg(other);
    ASSERT_TRUE(QDir().mkpath(foreign));
    EXPECT_EQ(refusal(QString(), dir.file("tmp"), other), EPERM);

    // A link planted in its place, even to a folder of ours.
    QDir().mkpath(dir.file("mine"));
    ASSERT_TRUE(QFile::link(dir.file("mine"), dir.file("tmp/Tarvo-%1").arg(me)));
    EXPECT_EQ(refusal(QString(), dir.file("tmp"), me), ELOOP);

    // A file in its place.
    dir.write("runtime/Tarvo", "x");
    EXPECT_EQ(refusal(dir.file("runtime"), dir.file("tmp"), me), ENOTDIR);
}

// Folders of drags that ended long ago go; those written to lately stay, as
// does anything that is no folder.
TEST(WorkRoot, SweepsFoldersNothingWasWrittenToForTenMinutes) {
    TempDir dir;
    dir.write("root/old/picture.jpg", "old");
    dir.write("root/recent/picture.jpg", "recent");
    dir.write("root/stray file", "a file");
    age(dir.file("root/old"), WorkRoot::keepSeconds + 60);
    age(dir.file("root/recent"), WorkRoot::keepSeconds - 60);
    age(dir.file("root/stray file"), WorkRoot::keepSeconds + 60);

    EXPECT_EQ(WorkRoot::sweep(dir.file("root")), 1);
    EXPECT_FALSE(QFile::exists(dir.file("root/old")));
    EXPECT_TRUE(QFile::exists(dir.file("root/recent/picture.jpg")));
    EXPECT_TRUE(QFile::exists(dir.file("root/stray file")));
    EXPECT_EQ(WorkRoot::sweep(dir.file("missing")), 0);
}

} // namespace
