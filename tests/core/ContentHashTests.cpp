#include "TarvoCore/ContentHash.h"
#include "TarvoCore/FileError.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include <sys/stat.h>
#include <sys/time.h>
#include <utime.h>

using namespace tarvo;

namespace {

void setModificationTime(const QString& path, time_t seconds) {
    struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}

} // namespace

TEST(ContentHash, KnownAnswers) {
    EXPECT_EQ(ContentHash::of(QByteArray()),
              "af5570f5a1810b7af78caf4bc70a660f0df51e42baf91d4de5b2328de0e83dfc");
    EXPECT_EQ(ContentHash::of(QByteArray("abc")),
              "ce91dc5eec0139adf091900d225971d6ad246a845bad791b5693a9d0d55dd391");
    EXPECT_EQ(ContentHash::ofString(QString()), ContentHash::of(QByteArray()));
    EXPECT_EQ(ContentHash::ofString("abc"), ContentHash::of(QByteArray("abc")));
}

TEST(ContentHash, OnlyThePrefixAndTheLengthCount) {
    const qsizetype p = ContentHash::prefixLength;
    const QByteArray base(p, 'x');
    const QByteArray tailA = base + "A";
    const QByteArray tailB = base + "B";
    EXPECT_EQ(ContentHash::of(tailA), ContentHash::of(tailB)) << "differ only after the prefix";
    EXPECT_NE(ContentHash::of(base), ContentHash::of(tailA)) << "differ only in length";
    EXPECT_NE(ContentHash::of(base + "AA"), ContentHash::of(tailA));

    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{64}$"));
    for (const QByteArray& data : {QByteArray(), base, tailA})
        EXPECT_TRUE(form.match(ContentHash::of(data)).hasMatch());
}

TEST(ContentHash, FileEqualsTheSameBytesInMemory) {
    const test::TempDir dir;
    const std::vector<QByteArray> contents = {
        QByteArray(), QByteArray("abc"), QByteArray(ContentHash::prefixLength, 'q'),
        QByteArray(ContentHash::prefixLength + 3, 'r') + "end"};
    for (const QByteArray& bytes : contents) {
        SCOPED_TRACE(bytes.size());
        const QString path = dir.write("f.bin", bytes);
        EXPECT_EQ(ContentHash::ofPath(path), ContentHash::of(bytes));
    }
}

TEST(ContentHash, FolderHashesNameAndModificationTimeOnly) {
    const test::TempDir dir;
    const QString a = dir.file("one/Shots");
    const QString b = dir.file("two/Shots");
    dir.write("one/Shots/deep/x.txt", "1");
    dir.write("two/Shots/other.txt", "2");
    setModificationTime(a, 1700000000);
    setModificationTime(b, 1700000000);
    EXPECT_EQ(ContentHash::ofPath(a), ContentHash::ofPath(b)) << "same name and date elsewhere";

    const QString before = ContentHash::ofPath(a);
    dir.write("one/Shots/deep/x.txt", "changed deep inside");
    EXPECT_EQ(ContentHash::ofPath(a), before);

    setModificationTime(a, 1700000001);
    EXPECT_NE(ContentHash::ofPath(a), before);

    ASSERT_TRUE(QDir().rename(b, dir.file("two/Renamed")));
    EXPECT_NE(ContentHash::ofPath(dir.file("two/Renamed")), ContentHash::ofPath(a));
}

TEST(ContentHash, RefusesWhatIsNotAFileOrFolderWithoutBlocking) {
    const test::TempDir dir;
    const QString fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A FIFO without a writer would block a plain open forever.
    EXPECT_THROW(ContentHash::ofPath(fifo), FileError);
    EXPECT_THROW(ContentHash::ofPath("/dev/zero"), FileError);
    EXPECT_THROW(ContentHash::ofPath(dir.file("missing")), FileError);
    try {
        ContentHash::ofPath(dir.file("missing"));
    } catch (const FileError& e) {
        EXPECT_EQ(e.description(), "could not open “missing”: No such file or directory");
    }
}
