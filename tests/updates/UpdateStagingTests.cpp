#include "TarvoUpdates/UpdateStaging.h"
#include "support/TempDir.h"

#include "TarvoCore/FileError.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tarvo;
using tarvo::test::TempDir;

TEST(UpdateStaging, AcceptsOnlyPlainVersions) {
    const std::vector<std::pair<QString, bool>> cases = {
        {"2.1", true},
        {"2.1.0-beta_3", true},
        {"512", true},
        {"-rf", true},
        {QString(64, u'9'), true},
        {QString(65, u'9'), false},
        {"", false},
        {"../../.bashrc", false},
        {"..", false},
        {".hidden", false},
        {"1..2", false},
        {"2.1/evil", false},
        {"2.1\\evil", false},
        {"2.1 beta", false},
        {"2.1\n", false},
        {QString::fromUtf8("２.１"), false}, // full-width digits
        {QString::fromUtf8("2.1é"), false},
        {QString::fromUtf8("2.1\u200b"), false},
        {"2.1;rm", false},
        {"~2", false},
    };
    for (const auto& [version, safe] : cases) {
        SCOPED_TRACE(version.toStdString());
        EXPECT_EQ(UpdateStaging::isSafeVersion(version), safe);
    }
}

TEST(UpdateStaging, ExtensionsComeFromAFixedList) {
    const std::vector<std::pair<const char*, std::optional<QString>>> cases = {
        {"https://e.invalid/tarvo_2.1_amd64.deb", QString("deb")},
        {"https://e.invalid/TARVO.DEB", QString("deb")},
        {"https://e.invalid/tarvo.zip", QString("zip")},
        {"https://e.invalid/tarvo-2.1.tar.gz", QString("tar.gz")},
        {"https://e.invalid/tarvo-2.1.tar.xz", QString("tar.xz")},
        {"https://e.invalid/download", QString("zip")},
        {"https://e.invalid/download?version=2.1.sh", QString("zip")},
        {"https://e.invalid/releases/latest/", QString("zip")},
        {"https://e.invalid/tarvo.", QString("zip")},
        {"https://e.invalid/tarvo.gz", std::nullopt},
        {"https://e.invalid/tarvo.sh", std::nullopt},
        {"https://e.invalid/tarvo.desktop", std::nullopt},
        {"https://e.invalid/tarvo.AppImage", std::nullopt},
        {"https://e.invalid/tarvo.deb.exe", std::nullopt},
        {"https://e.invalid/tarvo-2.1", std::nullopt},
        {"https://e.invalid/tarvo%2Fx.sh", std::nullopt},
    };
    for (const auto& [url, extension] : cases) {
        SCOPED_TRACE(url);
        EXPECT_EQ(UpdateStaging::archiveExtension(QUrl(QString::fromLatin1(url))), extension);
    }
}

TEST(UpdateStaging, FileNameJoinsVersionAndExtension) {
    AppcastItem item;
    item.shortVersion = "2.1";
    item.url = QUrl("https://e.invalid/tarvo_2.1_amd64.deb");
    EXPECT_EQ(UpdateStaging::fileName(item), QString("Tarvo-2.1.deb"));
    item.url = QUrl("https://e.invalid/get");
    EXPECT_EQ(UpdateStaging::fileName(item), QString("Tarvo-2.1.zip"));
    item.url = QUrl("https://e.invalid/tarvo.run");
    EXPECT_EQ(UpdateStaging::fileName(item), std::nullopt);
    item.url = QUrl("https://e.invalid/tarvo.deb");
    item.shortVersion = "../../.bashrc";
    EXPECT_EQ(UpdateStaging::fileName(item), std::nullopt);
}

TEST(UpdateStaging, DownloadsFolderFallsBackToTheWorkRoot) {
    const TempDir dir;
    QDir().mkpath(dir.file("Downloads"));
    const QString aFile = dir.write("not-a-folder", "x");
    const auto workRoot = [&] { return dir.file("work"); };
    struct Case {
        const char* name;
        std::optional<QString> given;
        QString downloadLocation;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"a given folder is used as it is", dir.file("given"), dir.file("Downloads"),
         dir.file("given")},
        {"the Downloads folder when it exists", std::nullopt, dir.file("Downloads"),
         dir.file("Downloads")},
        {"a Downloads folder that cannot be found", std::nullopt, dir.file("missing"),
         dir.file("work")},
        {"no Downloads location at all", std::nullopt, QString(), dir.file("work")},
        {"a file where the Downloads folder should be", std::nullopt, aFile, dir.file("work")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(UpdateStaging::downloadsDirectory(c.given, c.downloadLocation, workRoot),
                  c.expected);
    }
}

TEST(UpdateStaging, NeverReplacesAFile) {
    const TempDir dir;
    dir.write("Tarvo-2.1.deb", "the user's own file");
    dir.write("Tarvo-2.1 2.deb", "an older download");
    const QString temporary = dir.write(".Tarvo-2.1.deb.tmp", "new archive");

    const QString placed = UpdateStaging::moveIntoPlace(temporary, dir.path(), "Tarvo-2.1.deb");
    EXPECT_EQ(placed, dir.file("Tarvo-2.1 3.deb"));
    EXPECT_EQ(dir.read("Tarvo-2.1 3.deb"), "new archive");
    EXPECT_EQ(dir.read("Tarvo-2.1.deb"), "the user's own file");
    EXPECT_EQ(dir.read("Tarvo-2.1 2.deb"), "an older download");
    EXPECT_FALSE(QFile::exists(temporary));

    // Numbers go before a two-part extension.
    const QString tarball = dir.write(".t.tmp", "tar");
    dir.write("Tarvo-3.tar.gz", "other");
    EXPECT_EQ(UpdateStaging::moveIntoPlace(tarball, dir.path(), "Tarvo-3.tar.gz"),
              dir.file("Tarvo-3 2.tar.gz"));
}

TEST(UpdateStaging, TheSameArchiveStagedTwiceStaysOneFile) {
    const TempDir dir;
    dir.write("Tarvo-2.1.deb", "other bytes");
    dir.write("Tarvo-2.1 2.deb", "archive");
    const QString temporary = dir.write(".Tarvo-2.1.deb.tmp", "archive");
    EXPECT_EQ(UpdateStaging::moveIntoPlace(temporary, dir.path(), "Tarvo-2.1.deb"),
              dir.file("Tarvo-2.1 2.deb"));
    EXPECT_FALSE(QFile::exists(temporary));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(UpdateStaging, AFolderInTheWayIsSkipped) {
    const TempDir dir;
    QDir().mkpath(dir.file("Tarvo-2.1.deb"));
    const QString temporary = dir.write(".x.tmp", "archive");
    EXPECT_EQ(UpdateStaging::moveIntoPlace(temporary, dir.path(), "Tarvo-2.1.deb"),
              dir.file("Tarvo-2.1 2.deb"));
}

TEST(UpdateStaging, AMissingFolderThrows) {
    const TempDir dir;
    const QString temporary = dir.write(".x.tmp", "archive");
    EXPECT_THROW(UpdateStaging::moveIntoPlace(temporary, dir.file("missing"), "Tarvo-2.1.deb"),
                 FileError);
    EXPECT_TRUE(QFile::exists(temporary));
}
