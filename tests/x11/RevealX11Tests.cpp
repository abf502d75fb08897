// "Show in folder" on Xfce with Thunar as it is installed: a folder window
// opens whether Thunar's daemon answers the file manager interface or no
// file manager runs at all.
#include "TarvoPlatform/DesktopFileViewer.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QProcess>

namespace tarvo::test {
namespace {

// The windows whose title holds `name`, as xdotool finds them.
QStringList windowsNamed(const QString& name) {
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--name", name});
    search.waitForFinished(5000);
    return QString::fromUtf8(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

bool fileManagerRuns() {
    QProcess ask;
    ask.start("dbus-send",
              {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
               "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.FileManager1"});
    ask.waitForFinished(5000);
    return ask.readAllStandardOutput().contains("boolean true");
}

class RevealX11 : public ::testing::Test {
protected:
    RevealX11() {
        m_folder = m_dir.file("Reveal Me");
        QDir().mkpath(m_folder);
        QFile file(m_folder + "/shown.txt");
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("shown\n");
    }
    ~RevealX11() override {
        // Every Thunar of this display, daemon or window, goes.
        QProcess::execute("thunar", {"--quit"});
        waitFor([] { return windowsNamed("Reveal Me").isEmpty() && !fileManagerRuns(); }, 10000);
    }

    TempDir m_dir;
    QString m_folder;
};

TEST_F(RevealX11, WithNoFileManagerRunningTheFolderOpensWithTheDesktopsDefault) {
    ASSERT_FALSE(fileManagerRuns());
    ASSERT_TRUE(windowsNamed("Reveal Me").isEmpty());
    DesktopFileViewer viewer;
    viewer.reveal(m_folder + "/shown.txt");
    EXPECT_TRUE(waitFor([&] { return !windowsNamed("Reveal Me").isEmpty(); }, 30000));
}

TEST_F(RevealX11, ThunarsDaemonShowsTheFileInItsFolder) {
    ASSERT_TRUE(QProcess::startDetached("thunar", {"--daemon"}));
    ASSERT_TRUE(waitFor(fileManagerRuns, 30000));
    ASSERT_TRUE(windowsNamed("Reveal Me").isEmpty());
    DesktopFileViewer viewer;
    viewer.reveal(m_folder + "/shown.txt");
    EXPECT_TRUE(waitFor([&] { return !windowsNamed("Reveal Me").isEmpty(); }, 30000));
}

// Holds the file manager's name and takes every call without ever answering,
// as a hung file manager would.
class SilentFileManager final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        calls.append(message.member());
        return true;
    }
    QStringList calls;
};

TEST_F(RevealX11, AFileManagerThatNeverAnswersIsGivenUpForTheFolder) {
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "silent");
    SilentFileManager silent;
    ASSERT_TRUE(bus.registerVirtualObject("/org/freedesktop/FileManager1", &silent));
    ASSERT_TRUE(bus.registerService("org.freedesktop.FileManager1"));
    ASSERT_TRUE(waitFor(fileManagerRuns, 10000));

    DesktopFileViewer viewer(500);
    viewer.reveal(m_folder + "/shown.txt");
    EXPECT_TRUE(waitFor([&] { return silent.calls.contains("ShowItems"); }, 10000));
    EXPECT_TRUE(waitFor([&] { return !windowsNamed("Reveal Me").isEmpty(); }, 30000));

    bus.unregisterService("org.freedesktop.FileManager1");
    bus.unregisterObject("/org/freedesktop/FileManager1");
    QDBusConnection::disconnectFromBus("silent");
}

} // namespace
} // namespace tarvo::test
