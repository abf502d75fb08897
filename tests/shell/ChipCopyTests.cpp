#include "TarvoShell/ChipCopy.h"

#include "support/TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>

namespace tarvo::test {
namespace {

TEST(ChipCopy, NumberedNamesKeepTheLastExtension) {
    const struct {
        const char* name;
        int n;
        const char* expected;
    } cases[] = {
        {"report.pdf", 2, "report 2.pdf"}, {"report.pdf", 3, "report 3.pdf"},
        {"notes", 2, "notes 2"},           {"archive.tar.gz", 2, "archive.tar 2.gz"},
        {".bashrc", 2, ".bashrc 2"},       {"trailing.", 2, "trailing. 2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChipCopy::numberedName(c.name, c.n), c.expected) << c.name;
}

class ChipCopyTest : public ::testing::Test {
protected:
    QString folder() const { return m_dir.file("into"); }
    QString source(const QString& name, const QByteArray& bytes) {
        QDir().mkpath(m_dir.file("from"));
        const QString path = m_dir.file("from/" + name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QStringList entries() const {
        return QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                        QDir::Name);
    }

    void SetUp() override { QDir().mkpath(folder()); }
    TempDir m_dir;
};

TEST_F(ChipCopyTest, ReservationsNeverHandTheSameNameTwice) {
    constexpr int threads = 6;
    constexpr int each = 10;
    std::vector<std::vector<QString>> names(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < each; ++i)
                names[std::size_t(t)].push_back(*ChipCopy::reserve("a.txt", folder(), t % 2));
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    QSet<QString> all;
    for (const auto& list : names)
        all.unite(QSet<QString>(list.begin(), list.end()));
    EXPECT_EQ(all.size(), threads * each);
    EXPECT_TRUE(all.contains(folder() + "/a.txt"));
    EXPECT_TRUE(all.contains(folder() + "/a 60.txt"));
}

TEST_F(ChipCopyTest, AFileThatAppearsMeanwhileIsNeverWrittenOver) {
    const QString from = source("doc.txt", "ours");
    // Taken between the user's drop and the copy.
    QFile theirs(folder() + "/doc.txt");
    ASSERT_TRUE(theirs.open(QIODevice::WriteOnly));
    theirs.write("theirs");
    theirs.close();
    const ChipCopy::Outcome outcome = ChipCopy::copyInto({QUrl::fromLocalFile(from)}, folder());
    ASSERT_EQ(outcome.copied.size(), 1u);
    EXPECT_EQ(outcome.copied.front().written, folder() + "/doc 2.txt");
    EXPECT_EQ(read(folder() + "/doc.txt"), "theirs");
    EXPECT_EQ(read(folder() + "/doc 2.txt"), "ours");
    EXPECT_TRUE(outcome.failures.isEmpty());
}

TEST_F(ChipCopyTest, FoldersAreCopiedWholeUnderAFreeName) {
    QDir().mkpath(m_dir.file("from/Album/inner"));
    QFile inner(m_dir.file("from/Album/inner/photo.txt"));
    ASSERT_TRUE(inner.open(QIODevice::WriteOnly));
    inner.write("pixels");
    inner.close();
    QDir().mkpath(folder() + "/Album");
    const ChipCopy::Outcome outcome =
        ChipCopy::copyInto({QUrl::fromLocalFile(m_dir.file("from/Album"))}, folder());
    ASSERT_EQ(outcome.copied.size(), 1u);
    EXPECT_EQ(read(folder() + "/Album 2/inner/photo.txt"), "pixels");
    EXPECT_EQ(entries(), (QStringList{"Album", "Album 2"}));
}

TEST_F(ChipCopyTest, AFailedCopyLeavesNeitherAPartialFileNorItsReservation) {
    const QString good = source("good.txt", "good");
    // A pipe is refused once its name is taken, whoever runs the test.
    const QString pipe = m_dir.file("from/pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const ChipCopy::Outcome outcome = ChipCopy::copyInto(
        {QUrl::fromLocalFile(pipe), QUrl::fromLocalFile(m_dir.file("from/missing.txt")),
         QUrl::fromLocalFile(good)},
        folder());
    EXPECT_EQ(outcome.copied.size(), 1u);
    EXPECT_EQ(outcome.failures.size(), 2);
    EXPECT_EQ(entries(), QStringList{"good.txt"});
}

TEST_F(ChipCopyTest, AFolderThatTakesNoFilesFailsEveryCopy) {
    const QString from = source("a.txt", "a");
    const ChipCopy::Outcome outcome =
        ChipCopy::copyInto({QUrl::fromLocalFile(from)}, m_dir.file("nowhere"));
    EXPECT_TRUE(outcome.copied.empty());
    ASSERT_EQ(outcome.failures.size(), 1);
    EXPECT_TRUE(outcome.failures.front().startsWith("a.txt: "))
        << outcome.failures.front().toStdString();
}

} // namespace
} // namespace tarvo::test
