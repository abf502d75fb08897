#include "TarvoShell/DefaultDestinations.h"

#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

// What a first start offers, through the desktop's own naming of the user's
// folders: the home and the settings folder are the test's own.
TEST(DefaultDestinations, OnlyFoldersThatExistAreOffered) {
    struct Case {
        const char* name;
        // The desktop's user-dirs.dirs, "@" standing for the test's folder;
        // none when empty.
        QString userDirs;
        // Made under the test's folder; a name ending in "!" is a file.
        QStringList made;
        // Under the test's folder, in order.
        QStringList offered;
    };
    const QString localised = QStringLiteral(
        "XDG_DOWNLOAD_DIR=\"$HOME/Téléchargements\"\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
    const Case cases[] = {
        {"the usual folders",
         {},
         {"home/Downloads", "home/Desktop"},
         {"home/Downloads", "home/Desktop"}},
        {"no Downloads folder", {}, {"home/Desktop"}, {"home/Desktop"}},
        {"neither folder", {}, {}, {}},
        {"a file where Downloads should be",
         {},
         {"home/Downloads!", "home/Desktop"},
         {"home/Desktop"}},
        {"localised folders",
         localised,
         {"home/Téléchargements", "home/Bureau"},
         {"home/Téléchargements", "home/Bureau"}},
        // The desktop names the localised folder; the English one is no guess.
        {"a localised folder that is missing",
         localised,
         {"home/Downloads", "home/Bureau"},
         {"home/Bureau"}},
        // xdg-user-dirs points a folder the user turned off at the home folder.
        {"a folder turned off",
         "XDG_DOWNLOAD_DIR=\"$HOME/\"\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n",
         {"home/Desktop"},
         {"home/Desktop"}},
        {"both naming one folder",
         "XDG_DOWNLOAD_DIR=\"$HOME/Desktop\"\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n",
         {"home/Desktop"},
         {"home/Desktop"}},
        {"a folder outside the home and a relative one",
         "XDG_DOWNLOAD_DIR=\"@/elsewhere/Incoming\"\nXDG_DESKTOP_DIR=\"Desktop\"\n",
         {"elsewhere/Incoming", "home/Desktop"},
         {"elsewhere/Incoming"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const ScopedEnvironment home("HOME", QFile::encodeName(dir.file("home")));
        const ScopedEnvironment config("XDG_CONFIG_HOME", QFile::encodeName(dir.file("config")));
        QDir().mkpath(dir.file("home"));
        if (!c.userDirs.isEmpty()) {
            QString text = c.userDirs;
            dir.write("config/user-dirs.dirs", text.replace(u'@', dir.path()).toUtf8());
        }
        for (const QString& made : c.made) {
            if (made.endsWith(u'!'))
                dir.write(made.chopped(1), "not a folder");
            else
                ASSERT_TRUE(QDir().mkpath(dir.file(made)));
        }
        QStringList expected;
        for (const QString& offered : c.offered)
            expected << dir.file(offered);
        EXPECT_EQ(DefaultDestinations::folders(), expected);
    }
}

} // namespace
} // namespace tarvo::test
