#include "TarvoDrag/FileCopier.h"
#include "TarvoDrag/StoredName.h"

#include "TarvoCore/FileError.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/memory/MemoryPasteboard.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

using namespace tarvo;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(StoredName, ReservedNamesAreTheStoresOwn) {
    struct Case {
        QString name;
        bool reserved;
        QString stored;
    };
    const std::vector<Case> cases{
        {"item.json", true, "item 2.json"},
        {"thumbnail.png", true, "thumbnail 2.png"},
        {"thumbnail-v2.png", true, "thumbnail-v2 2.png"},
        {"thumbnail-v3.png", true, "thumbnail-v3 2.png"},
        {"thumbnail-v4.png", true, "thumbnail-v4 2.png"},
        {".photo.jpg.0f6a2c1e-3b4d-4e5f-8a9b-0c1d2e3f4a5b.tmp", true,
         ".photo.jpg.0f6a2c1e-3b4d-4e5f-8a9b-0c1d2e3f4a5b 2.tmp"},
        {"Item.json", false, "Item.json"},
        {"item.json.bak", false, "item.json.bak"},
        {"thumbnail-v5.png", false, "thumbnail-v5.png"},
        {"tarvo.json", false, "tarvo.json"},
        {".photo.jpg.not-a-uuid.tmp", false, ".photo.jpg.not-a-uuid.tmp"},
        {"report.pdf", false, "report.pdf"},
        {"", false, "File"},
        {".", false, "File"},
        {"..", false, "File"},
        {"a/b/c.txt", false, "c.txt"},
        {"trailing/", false, "trailing"},
        {"/", false, "File"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(StoredName::isReserved(c.name), c.reserved);
        EXPECT_EQ(StoredName::forDroppedName(c.name), c.stored);
    }
}

TEST(FileCopier, CopiesLargeFilesByteForByte) {
    test::TempDir dir;
    QByteArray bytes(5 * 1048576 + 17, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 131) ^ (i >> 9));
    const QString source = dir.write("big.bin", bytes);
    ::chmod(QFile::encodeName(source).constData(), 0751);
    FileCopier::copy(source, dir.file("copy.bin"));
    EXPECT_EQ(readAll(dir.file("copy.bin")), bytes);
    EXPECT_EQ(QFileInfo(dir.file("copy.bin")).lastModified(), QFileInfo(source).lastModified());
}

// Under an open umask a copy into the store is the user's alone; a copy out
// of it gets what any new file gets. The owner's execute bit goes along.
TEST(FileCopier, ModesFollowWhereTheCopyGoesNotTheUmask) {
    const mode_t before = ::umask(022);
    struct Case {
        const char* name;
        Files::Access access;
        mode_t file, script, folder;
    };
    const Case cases[] = {
        {"into the store", Files::Access::ownerOnly, 0600, 0700, 0700},
        {"out of the store", Files::Access::shared, 0644, 0755, 0755},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        ::chmod(QFile::encodeName(dir.write("plain.txt", "p")).constData(), 0664);
        ::chmod(QFile::encodeName(dir.write("run.sh", "r")).constData(), 0751);
        dir.write("folder/inner/a.txt", "a");
        ::chmod(QFile::encodeName(dir.file("folder/inner")).constData(), 0775);
        ::chmod(QFile::encodeName(dir.file("folder/inner/a.txt")).constData(), 0666);
        FileCopier::copy(dir.file("plain.txt"), dir.file("plain copy"), c.access);
        FileCopier::copy(dir.file("run.sh"), dir.file("run copy"), c.access);
        FileCopier::copy(dir.file("folder"), dir.file("folder copy"), c.access);
        const auto mode = [&](const char* name) {
            struct stat st {};
            ::lstat(QFile::encodeName(dir.file(name)).constData(), &st);
            return st.st_mode & 07777;
        };
        EXPECT_EQ(mode("plain copy"), c.file);
        EXPECT_EQ(mode("run copy"), c.script);
        EXPECT_EQ(mode("folder copy"), c.folder);
        EXPECT_EQ(mode("folder copy/inner"), c.folder);
        EXPECT_EQ(mode("folder copy/inner/a.txt"), c.file);
    }
    ::umask(before);
}

TEST(FileCopier, EmptyFilesAndFoldersCopyToo) {
    test::TempDir dir;
    dir.write("empty", "");
    QDir().mkpath(dir.file("hollow/inner"));
    FileCopier::copy(dir.file("empty"), dir.file("empty copy"));
    FileCopier::copy(dir.file("hollow"), dir.file("hollow copy"));
    EXPECT_TRUE(QFileInfo(dir.file("empty copy")).isFile());
    EXPECT_EQ(QFileInfo(dir.file("empty copy")).size(), 0);
    EXPECT_TRUE(QFileInfo(dir.file("hollow copy/inner")).isDir());
}

TEST(FileCopier, RefusesWhatItCannotCopy) {
    test::TempDir dir;
    dir.write("there", "x");
    dir.write("taken", "old");
    ::mkfifo(QFile::encodeName(dir.file("fifo")).constData(), 0600);
    struct Case {
        const char* name;
        QString source;
        QString destination;
    };
    const std::vector<Case> cases{
        {"missing source", dir.file("missing"), dir.file("a")},
        {"FIFO", dir.file("fifo"), dir.file("b")},
        {"device", "/dev/zero", dir.file("c")},
        {"destination exists", dir.file("there"), dir.file("taken")},
        {"destination folder missing", dir.file("there"), dir.file("nowhere/d")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(FileCopier::copy(c.source, c.destination), FileError);
    }
    EXPECT_EQ(readAll(dir.file("taken")), "old");
}

TEST(FileCopier, FolderHoldingTheStoreIsCopiedWithoutCopyingItself) {
    test::TempDir dir;
    dir.write("home/notes.txt", "n");
    dir.write("home/docs/a.txt", "a");
    ItemStore store(dir.file("home/.local/Items"));
    FakeClock clock;
    DropReceiver receiver(store, clock);
    MemoryPasteboard pasteboard;
    pasteboard.setURLs({QUrl::fromLocalFile(dir.file("home"))});
    const std::vector<Item> items = receiver.accept(pasteboard, std::nullopt);
    ASSERT_EQ(items.size(), 1u);
    const QString copy = *items.front().payloadURL(store.root());
    EXPECT_EQ(readAll(copy + "/notes.txt"), "n");
    EXPECT_EQ(readAll(copy + "/docs/a.txt"), "a");
    EXPECT_FALSE(QFileInfo::exists(copy + "/.local/Items/" +
                                   store.itemDirectory(items.front().id).section('/', -1)));
}

} // namespace
