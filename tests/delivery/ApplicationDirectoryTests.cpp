#include "TarvoPlatform/ApplicationDirectory.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <memory>

using namespace tarvo;
using namespace tarvo::test;

namespace {

QByteArray desktopFile(const QByteArray& name, const QByteArray& extra = {}) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=true\n" + extra;
}

class ApplicationDirectoryTest : public ::testing::Test {
protected:
    ApplicationDirectoryTest() {
        dir.write("user/applications/org.gnome.Evince.desktop",
                  desktopFile("Document Viewer", "StartupWMClass=evince\n"));
        dir.write("user/applications/firefox.desktop", desktopFile("Firefox User"));
        dir.write("system/applications/firefox.desktop", desktopFile("Firefox System"));
        dir.write("system/applications/kde4/okular.desktop", desktopFile("Okular"));
        dir.write("user/applications/gone.desktop", "[Desktop Entry]\nType=Application\nName=Gone\n"
                                                    "Hidden=true\n");
        dir.write("system/applications/gone.desktop", desktopFile("Gone System"));
        dir.write("system/applications/link.desktop",
                  "[Desktop Entry]\nType=Link\nName=A link\nURL=https://example.org\n");
        dir.write("system/applications/org.gnome.gedit.desktop",
                  "# comment\n[Desktop Entry]\nName[de]=Texteditor\nName = Text\\sEditor\n"
                  "Type=Application\n[Desktop Action new-window]\nName=New Window\n");
        dir.write("system/applications/notes.txt", "not a desktop file");
    }

    std::unique_ptr<ApplicationDirectory> directory() const {
        auto apps = std::make_unique<ApplicationDirectory>(
            QStringList{dir.file("user/applications"), dir.file("system/applications")});
        EXPECT_TRUE(apps->refreshAndWait());
        return apps;
    }

    TempDir dir;
};

TEST_F(ApplicationDirectoryTest, NamesApplicationsByTheirDesktopFiles) {
    ApplicationDirectory apps({dir.file("user/applications"), dir.file("system/applications"),
                               dir.file("missing/applications")});
    ASSERT_TRUE(apps.refreshAndWait());
    struct Case {
        const char* name;
        QString id;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"a reverse-domain id", "org.gnome.Evince", QStringLiteral("Document Viewer")},
        {"the earlier folder wins", "firefox", QStringLiteral("Firefox User")},
        {"a file in a subfolder", "kde4-okular", QStringLiteral("Okular")},
        {"a hidden entry hides later folders too", "gone", std::nullopt},
        {"a link is no application", "link", std::nullopt},
        {"the untranslated name, unescaped, of the main group", "org.gnome.gedit",
         QStringLiteral("Text Editor")},
        {"an unknown id", "org.example.Nothing", std::nullopt},
        {"no id", "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(apps.name(c.id), c.expected);
    }
    EXPECT_EQ(apps.path("firefox"), dir.file("user/applications/firefox.desktop"));
    QStringList ids;
    for (const auto& entry : apps.entries())
        ids.append(entry.id);
    EXPECT_EQ(ids, (QStringList{"firefox", "kde4-okular", "org.gnome.Evince", "org.gnome.gedit"}));
}

TEST_F(ApplicationDirectoryTest, MatchesWindowClassesToApplications) {
    dir.write("system/applications/org.example.Claimed.desktop",
              desktopFile("Claimed", "StartupWMClass=Firefox\n"));
    const std::unique_ptr<ApplicationDirectory> directory = this->directory();
    ApplicationDirectory& apps = *directory;
    struct Case {
        const char* name;
        QString instance;
        QString windowClass;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"StartupWMClass first", "navigator", "Firefox", QStringLiteral("org.example.Claimed")},
        {"StartupWMClass of the instance", "evince", "Evince", QStringLiteral("org.gnome.Evince")},
        {"the id itself", "firefox", "Navigator", QStringLiteral("firefox")},
        {"the id in another case", "x", "KDE4-OKULAR", QStringLiteral("kde4-okular")},
        {"the last part of a dotted id", "gedit", "Gedit", QStringLiteral("org.gnome.gedit")},
        {"nothing installed", "xeyes", "XEyes", std::nullopt},
        {"no class at all", "", "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(apps.idForWindowClass(c.instance, c.windowClass), c.expected);
    }
}

// Changes arrive through the event loop: the name `id` has once it arrived.
std::optional<QString> nameOnceRead(const ApplicationDirectory& apps, const QString& id) {
    QDeadlineTimer deadline(20000);
    std::optional<QString> name;
    while (!(name = apps.name(id)) && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return name;
}

TEST_F(ApplicationDirectoryTest, ReadsTheFoldersAgainWhenTheyChange) {
    const std::unique_ptr<ApplicationDirectory> directory = this->directory();
    ApplicationDirectory& apps = *directory;
    ASSERT_EQ(apps.name("org.example.New"), std::nullopt);
    dir.write("user/applications/org.example.New.desktop", desktopFile("Brand New"));
    EXPECT_EQ(nameOnceRead(apps, "org.example.New"), QStringLiteral("Brand New"));
}

// A user's applications folder that a first install makes later, one or
// several levels below what exists at start: watched and read once it is
// there, and what is written into it afterwards too.
TEST_F(ApplicationDirectoryTest, WatchesAnApplicationsFolderThatAppearsLater) {
    for (const char* missing : {"home/.local/share/applications", "share/applications"}) {
        SCOPED_TRACE(missing);
        QDir().mkpath(dir.file("home"));
        QDir().mkpath(dir.file("share"));
        ApplicationDirectory apps({dir.file(missing), dir.file("system/applications")});
        ASSERT_TRUE(apps.refreshAndWait());
        ASSERT_EQ(apps.name("okular"), std::nullopt);
        ASSERT_EQ(apps.name("kde4-okular"), QStringLiteral("Okular"));

        dir.write(QString::fromLatin1(missing) + "/okular.desktop", desktopFile("Okular Mine"));
        EXPECT_EQ(nameOnceRead(apps, "okular"), QStringLiteral("Okular Mine"));
        dir.write(QString::fromLatin1(missing) + "/org.example.Later.desktop",
                  desktopFile("Later"));
        EXPECT_EQ(nameOnceRead(apps, "org.example.Later"), QStringLiteral("Later"));
        QDir(dir.file("home")).removeRecursively();
        QDir(dir.file("share")).removeRecursively();
    }
}

// Lookups answer from the last reading and never read the disk themselves:
// what a folder holds now shows only once the worker has read it again.
TEST_F(ApplicationDirectoryTest, LookupsAnswerFromTheLastReading) {
    const std::unique_ptr<ApplicationDirectory> apps = directory();
    ASSERT_EQ(apps->name("firefox"), QStringLiteral("Firefox User"));
    ASSERT_TRUE(QFile::remove(dir.file("user/applications/firefox.desktop")));
    ASSERT_TRUE(QFile::remove(dir.file("system/applications/firefox.desktop")));
    EXPECT_EQ(apps->name("firefox"), QStringLiteral("Firefox User"));
    EXPECT_EQ(apps->idForWindowClass("navigator", "Firefox"), QStringLiteral("firefox"));

    ASSERT_TRUE(apps->refreshAndWait());
    EXPECT_EQ(apps->name("firefox"), std::nullopt);
    EXPECT_EQ(apps->idForWindowClass("navigator", "Firefox"), std::nullopt);
}

} // namespace
