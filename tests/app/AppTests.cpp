#include "shell/ShellFixture.h"

#include "TarvoApp/AccessibilitySettings.h"
#include "TarvoApp/Alerts.h"
#include "TarvoApp/AppDelegate.h"
#include "TarvoApp/Application.h"
#include "TarvoApp/Entry.h"
#include "TarvoApp/InstanceSocket.h"
#include "TarvoApp/LaunchAtLogin.h"
#include "TarvoApp/SingleInstance.h"
#include "TarvoApp/StoreAccess.h"
#include "TarvoCore/BuildInfo.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Preferences.h"
#include "TarvoDrag/DestinationResolver.h"
#include "TarvoShell/HotkeyMonitor.h"
#include "TarvoShell/MenuBarController.h"
#include "GeneralTab.h"
#include "OnboardingArt.h"
#include "OnboardingModel.h"
#include "OnboardingWindow.h"
#include "SettingsModel.h"
#include "SettingsWindow.h"
#include "TarvoPanel.h"
#include "TarvoView.h"
#include "TarvoUpdates/UpdateController.h"

#include "support/ItemFactory.h"
#include "support/RecordingLogSink.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"
#include "updates/Ed25519TestKey.h"
#include "updates/MemoryUpdateTransport.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

class RecordingAlerts final : public Alerts {
public:
    QStringList failures;
    QStringList explanations;
    bool pressButton = false;

    void showFailure(const QString& message) override { failures << message; }
    bool explain(const QString& message, const QString&, const QString&) override {
        explanations << message;
        return pressButton;
    }
};

// A delegate whose data, settings and runtime folders are a test's own.
class DelegateTest : public ::testing::Test {
protected:
    DelegateTest()
        : m_data("XDG_DATA_HOME", QFile::encodeName(m_dir.file("data"))),
          m_config("XDG_CONFIG_HOME", QFile::encodeName(m_dir.file("config"))),
          m_runtime("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.file("runtime"))) {
        QDir().mkpath(m_dir.file("runtime"));
        QFile::setPermissions(m_dir.file("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    std::unique_ptr<AppDelegate> makeDelegate() {
        return std::make_unique<AppDelegate>(
            m_shell.platform(), m_alerts, m_dir.file("config/Tarvo/Tarvo.conf"),
            LaunchAtLogin(m_dir.file("config"), QStringLiteral("/opt/tarvo/bin/tarvo")));
    }
    QString itemsFolder() const { return m_dir.file("data/Tarvo/Items"); }

    TempDir m_dir;
    ScopedEnvironment m_data;
    ScopedEnvironment m_config;
    ScopedEnvironment m_runtime;
    MemoryShell m_shell;
    RecordingAlerts m_alerts;
};

TEST_F(DelegateTest, StartsOverTheUsersFoldersWithTheShelfHidden) {
    {
        ItemStore store(itemsFolder());
        addTextItem(store, QStringLiteral("kept"), m_shell.clock.now());
    }
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    ASSERT_TRUE(delegate->controller());
    EXPECT_EQ(delegate->controller()->store().items().size(), 1u);
    EXPECT_EQ(delegate->controller()->store().root(), itemsFolder());
    EXPECT_EQ(delegate->controller()->state(), TarvoState::hidden);
    EXPECT_TRUE(m_alerts.failures.isEmpty());
    EXPECT_FALSE(delegate->applicationShouldTerminateAfterLastWindowClosed());
    delegate->applicationWillTerminate();
}

TEST_F(DelegateTest, OtherSettingsChangesLeaveTheHeldShortcutAlone) {
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    const int grabs = m_shell.hotkeys.grabCalls;
    delegate->preferences().setPlaySoundOnDrop(true);
    delegate->preferencesDidChange();
    delegate->preferences().setShowMenuBarIcon(false);
    delegate->preferencesDidChange();
    EXPECT_EQ(m_shell.hotkeys.grabCalls, grabs);
    EXPECT_EQ(m_shell.hotkeys.grabbed(), HotkeySpec::defaultSpec());
    delegate->applicationWillTerminate();
}

TEST_F(DelegateTest, TheTutorialShowsATakenShortcutAndRecordsAnother) {
    m_shell.hotkeys.taken = {HotkeySpec::defaultSpec()};
    m_shell.hotkeys.takenBy = QStringLiteral("Openbox");
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    ASSERT_TRUE(delegate->onboardingWindow());
    QWidget* window = delegate->onboardingWindow()->window();
    auto* primary = window->findChild<QPushButton*>(QStringLiteral("primary"));
    ASSERT_TRUE(primary);
    for (int step = 0; step < OnboardingModel::totalSteps - 1; ++step)
        primary->click();
    auto* row = window->findChild<QWidget*>(QStringLiteral("shortcutTaken"));
    auto* problem = window->findChild<QLabel*>(QStringLiteral("shortcutProblem"));
    auto* recorder = window->findChild<HotkeyRecorder*>(QStringLiteral("hotkeyRecorder"));
    ASSERT_TRUE(row && problem && recorder);
    EXPECT_TRUE(row->isVisibleTo(window));
    EXPECT_TRUE(problem->text().contains(QStringLiteral("Alt+Space")))
        << problem->text().toStdString();
    EXPECT_TRUE(problem->text().contains(QStringLiteral("Openbox")))
        << problem->text().toStdString();

    // The settings' recorder: Ctrl+Shift+K is stored, held and drawn.
    recorder->click();
    ASSERT_TRUE(recorder->isRecording());
    QKeyEvent press(QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    QCoreApplication::sendEvent(recorder, &press);
    const HotkeySpec ctrlShiftK{40, HotkeySpec::command | HotkeySpec::shift};
    EXPECT_EQ(delegate->preferences().hotkey(), std::optional<HotkeySpec>(ctrlShiftK));
    EXPECT_EQ(m_shell.hotkeys.grabbed(), std::optional<HotkeySpec>(ctrlShiftK));
    EXPECT_FALSE(row->isVisibleTo(window));
    delegate->applicationWillTerminate();
}

TEST_F(DelegateTest, TheShortcutTogglesTheShelfAndARefusalIsKeptWithItsReason) {
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    EXPECT_EQ(m_shell.hotkeys.grabbed(), HotkeySpec::defaultSpec());
    ASSERT_TRUE(m_shell.hotkeys.press(HotkeySpec::defaultSpec()));
    EXPECT_NE(delegate->controller()->state(), TarvoState::hidden);
    ASSERT_TRUE(m_shell.hotkeys.press(HotkeySpec::defaultSpec()));
    EXPECT_EQ(delegate->controller()->state(), TarvoState::hidden);

    // Switched off, then on again while the window manager holds the keys.
    delegate->preferences().setHotkeyEnabled(false);
    delegate->preferencesDidChange();
    EXPECT_EQ(m_shell.hotkeys.grabbed(), std::nullopt);
    m_shell.hotkeys.taken = {HotkeySpec::defaultSpec()};
    m_shell.hotkeys.takenBy = QStringLiteral("Openbox");
    RecordingLogSink log;
    delegate->preferences().setHotkeyEnabled(true);
    delegate->preferencesDidChange();
    ASSERT_TRUE(delegate->hotkeyMonitor());
    EXPECT_FALSE(delegate->hotkeyMonitor()->isActive());
    ASSERT_TRUE(delegate->hotkeyMonitor()->lastFailure());
    EXPECT_EQ(delegate->hotkeyMonitor()->lastFailure()->windowManager, QStringLiteral("Openbox"));
    EXPECT_FALSE(log.lines().empty());
    delegate->applicationWillTerminate();
}

TEST_F(DelegateTest, TheTrayFollowsThePreferenceAndItsUndoIsSeenWhileTheShelfIsHidden) {
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    MenuBarController* menuBar = delegate->menuBar();
    ASSERT_TRUE(menuBar);
    EXPECT_TRUE(menuBar->isVisible());
    ASSERT_EQ(delegate->controller()->state(), TarvoState::hidden);

    // Nothing to undo: the shelf opens and says so, rather than nothing happening.
    menuBar->menu()->actions().at(1)->trigger();
    QCoreApplication::processEvents();
    EXPECT_NE(delegate->controller()->state(), TarvoState::hidden);
    EXPECT_TRUE(delegate->controller()->view().notice().has_value());

    menuBar->menu()->actions().at(0)->trigger();
    QCoreApplication::processEvents();
    EXPECT_NE(delegate->controller()->state(), TarvoState::hidden);

    delegate->preferences().setShowMenuBarIcon(false);
    delegate->preferencesDidChange();
    EXPECT_FALSE(menuBar->isVisible());
    delegate->preferences().setShowMenuBarIcon(true);
    delegate->preferencesDidChange();
    EXPECT_TRUE(menuBar->isVisible());
    delegate->applicationWillTerminate();
}

TEST_F(DelegateTest, AStoreThatCannotBeOpenedEndsTheStartUpWithAnAlert) {
    struct Case {
        const char* name;
        std::function<void(const QString& items)> spoil;
    };
    const Case cases[] = {
        {"index is a folder",
         [](const QString& items) { QDir().mkpath(items + QStringLiteral("/tarvo.json")); }},
        {"items folder is a file",
         [](const QString& items) {
             QDir().mkpath(QFileInfo(items).path());
             QFile file(items);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         }},
        {"data folder is a file",
         [this](const QString&) {
             QDir().mkpath(m_dir.file("data"));
             QFile file(m_dir.file("data/Tarvo"));
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         }},
    };
    for (const Case& c : cases) {
        QDir(m_dir.file("data")).removeRecursively();
        QFile::remove(m_dir.file("data"));
        c.spoil(itemsFolder());
        m_alerts.failures.clear();
        RecordingLogSink log;
        auto delegate = makeDelegate();
        EXPECT_FALSE(delegate->applicationDidFinishLaunching()) << c.name;
        EXPECT_EQ(delegate->controller(), nullptr) << c.name;
        ASSERT_EQ(m_alerts.failures.size(), 1) << c.name;
        const auto records = log.records();
        ASSERT_FALSE(records.empty()) << c.name;
        EXPECT_EQ(records.back().level, LogLevel::fault) << c.name;
        EXPECT_EQ(records.back().message,
                  QStringLiteral("could not start: ") + m_alerts.failures.front())
            << c.name;
    }
}

TEST_F(DelegateTest, LaunchAtLoginFollowsThePreferenceAndLogsAFailedWrite) {
    auto delegate = makeDelegate();
    LaunchAtLogin entry(m_dir.file("config"), QStringLiteral("/opt/tarvo/bin/tarvo"));
    delegate->preferences().setLaunchAtLogin(true);
    delegate->applyLaunchAtLogin();
    EXPECT_TRUE(entry.isEnabled());
    delegate->applyLaunchAtLogin();
    EXPECT_TRUE(entry.isEnabled());
    delegate->preferences().setLaunchAtLogin(false);
    delegate->applyLaunchAtLogin();
    EXPECT_FALSE(QFile::exists(entry.entryPath()));
    delegate->applyLaunchAtLogin();

    // A file where the autostart folder should be: the write fails.
    ASSERT_TRUE(QDir(m_dir.file("config/autostart")).removeRecursively());
    QFile blocker(m_dir.file("config/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RecordingLogSink log;
    delegate->preferences().setLaunchAtLogin(true);
    delegate->applyLaunchAtLogin();
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records().front().level, LogLevel::error);
    EXPECT_TRUE(log.records().front().message.startsWith(QStringLiteral("launch at login: ")));
    EXPECT_TRUE(delegate->preferences().launchAtLogin());
}

TEST_F(DelegateTest, AnEntryOfOursNamingAnotherProgramCountsAsOnAndGoesWhenTurnedOff) {
    auto delegate = makeDelegate();
    LaunchAtLogin entry(m_dir.file("config"), QStringLiteral("/opt/tarvo/bin/tarvo"));
    // Written by an install elsewhere, then edited by hand.
    QByteArray other = LaunchAtLogin::entry(QStringLiteral("/home/me/old/tarvo"));
    other.replace("Name=Tarvo", "Name=Tarvo (mine)");
    ASSERT_TRUE(QDir().mkpath(m_dir.file("config/autostart")));
    const auto write = [&](const QByteArray& text) {
        QFile file(entry.entryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    };
    const auto read = [&] {
        QFile file(entry.entryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    write(other);
    EXPECT_TRUE(entry.isEnabled());

    delegate->preferences().setLaunchAtLogin(true);
    delegate->applyLaunchAtLogin();
    EXPECT_EQ(read(), other) << "on is on, whatever the entry starts";

    delegate->preferences().setLaunchAtLogin(false);
    delegate->applyLaunchAtLogin();
    EXPECT_FALSE(QFile::exists(entry.entryPath()));

    // Another program's entry under our name, without our key, is not ours.
    write("[Desktop Entry]\nType=Application\nExec=/usr/bin/true\n"
          "[Other]\nX-Tarvo-Autostart=true\n");
    EXPECT_FALSE(entry.isEnabled());
    delegate->preferences().setLaunchAtLogin(true);
    delegate->applyLaunchAtLogin();
    EXPECT_EQ(read(), LaunchAtLogin::entry(QStringLiteral("/opt/tarvo/bin/tarvo")));
}

TEST_F(DelegateTest, AccessibilityIsExplainedWhenTheBusIsOffAndAppliedWhenOn) {
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    m_shell.accessibility.setTrusted(false);
    delegate->requestAccessibility();
    ASSERT_EQ(m_alerts.explanations.size(), 1);
    EXPECT_TRUE(m_alerts.explanations.front().startsWith(L10n::permissionAccessibility()));

    m_shell.accessibility.setTrusted(true);
    delegate->preferences().setEditorPaneDetection(true);
    delegate->requestAccessibility();
    EXPECT_EQ(m_alerts.explanations.size(), 1);
    EXPECT_TRUE(delegate->controller()->resolver().editorPaneDetectionEnabled);
}

TEST(LaunchAtLoginTest, QuotesTheProgramAsDesktopEntriesRequire) {
    struct Case {
        QString program;
        QString word;
    };
    const Case cases[] = {
        {"/usr/bin/tarvo", "/usr/bin/tarvo"},
        {"/opt/My Apps/tarvo", "\"/opt/My Apps/tarvo\""},
        {"/opt/a$b/tarvo", "\"/opt/a\\\\$b/tarvo\""},
        {"/opt/quo\"te/tarvo", "\"/opt/quo\\\\\"te/tarvo\""},
        {"/opt/back\\slash", "\"/opt/back\\\\\\\\slash\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LaunchAtLogin::execWord(c.program), c.word) << c.program.toStdString();
    const QString entry = QString::fromUtf8(LaunchAtLogin::entry(QStringLiteral("/usr/bin/tarvo")));
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=/usr/bin/tarvo\n")));
}

TEST(UpdateScheduleTest, ChecksWeeklyAndNeverBeforeTheFirstDelivery) {
    const Date now = Date::fromSecondsSince1970(1700000000);
    EXPECT_FALSE(AppDelegate::updateCheckDue(std::nullopt, 0, now));
    EXPECT_TRUE(AppDelegate::updateCheckDue(std::nullopt, 1, now));
    EXPECT_TRUE(AppDelegate::updateCheckDue(now.addingSeconds(-604800), 0, now));
    EXPECT_FALSE(AppDelegate::updateCheckDue(now.addingSeconds(-604799), 5, now));
    // A clock once set wrong must not hold checks off for good.
    EXPECT_TRUE(AppDelegate::updateCheckDue(now.addingSeconds(3600), 5, now));
}

// Turns the event loop until `done` holds or a generous deadline passes.
template <typename Predicate> bool waitUntil(Predicate done) {
    const QDeadlineTimer deadline(60000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// A delegate whose update check reads a feed held in memory, signed with a
// throwaway key, and stages into the test's own folder; nothing is opened.
class DelegateUpdateTest : public DelegateTest {
protected:
    const QUrl m_feedURL{QStringLiteral("https://updates.test/appcast.xml")};
    const QUrl m_archiveURL{QStringLiteral("https://updates.test/Tarvo-9.0.tar.gz")};

    std::unique_ptr<AppDelegate> makeWiredDelegate() {
        QDir().mkpath(downloads());
        auto delegate = makeDelegate();
        delegate->makeUpdateController = [this] {
            ++m_controllersMade;
            auto transport = std::make_unique<MemoryUpdateTransport>();
            m_transport = transport.get();
            serve(*m_transport);
            return std::make_unique<UpdateController>(m_feedURL, AppDelegate::currentBuild(),
                                                      std::move(transport), downloads(),
                                                      m_key.publicKeyBase64());
        };
        delegate->revealFile = [this](const QString& path) { m_revealed << path; };
        delegate->onUpdateStatus = [this](const QString& status) { m_statuses << status; };
        return delegate;
    }

    QString downloads() const { return m_dir.file("downloads"); }
    int feedFetches() const {
        return m_transport ? int(std::count(m_transport->fetched().begin(),
                                            m_transport->fetched().end(), m_feedURL))
                           : 0;
    }

    // Whether the feed offers a newer release (its archive waits before the
    // first byte until resumed), and whether it is served at all.
    bool m_offerNewer = false;
    bool m_serveFeed = true;
    Ed25519TestKey m_key;
    MemoryUpdateTransport* m_transport = nullptr;
    int m_controllersMade = 0;
    QStringList m_revealed;
    QStringList m_statuses;

private:
    void serve(MemoryUpdateTransport& transport) {
        if (!m_serveFeed)
            return;
        const QByteArray archive(4096, 'x');
        const qint64 build = AppDelegate::currentBuild() + (m_offerNewer ? 1000 : 0);
        const QString enclosure =
            QStringLiteral("<enclosure url=\"%1\" sparkle:version=\"%2\" "
                           "sparkle:shortVersionString=\"9.0\" sparkle:edSignature=\"%3\" "
                           "length=\"%4\"/>")
                .arg(m_archiveURL.toString())
                .arg(build)
                .arg(m_key.signBase64(archive))
                .arg(archive.size());
        const QByteArray feed =
            "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" "
            "xmlns:sparkle=\"https://example.invalid/xml-namespaces/appcast\"><channel>"
            "<title>Tarvo</title><item><title>Tarvo 9.0</title>" +
            enclosure.toUtf8() + "</item></channel></rss>\n";
        transport.serve(m_feedURL, {{feed}, std::nullopt, std::nullopt});
        transport.serve(m_archiveURL, {{archive.left(1000), archive.mid(1000)}, std::nullopt, 0});
    }
};

TEST_F(DelegateUpdateTest, TheStartUpChecksOnlyWhenDueAndDatesTheCheck) {
    const Date now = m_shell.clock.now();
    struct Case {
        const char* name;
        std::optional<Date> lastCheck;
        qint64 dropCount;
        bool due;
    };
    const Case cases[] = {
        {"nothing delivered yet", std::nullopt, 0, false},
        {"first delivery made", std::nullopt, 1, true},
        {"checked a day ago", now.addingSeconds(-86400), 3, false},
        {"checked eight days ago", now.addingSeconds(-8 * 86400), 3, true},
        {"check dated tomorrow", now.addingSeconds(86400), 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_controllersMade = 0;
        m_statuses.clear();
        auto delegate = makeWiredDelegate();
        delegate->preferences().setLastUpdateCheck(c.lastCheck);
        delegate->preferences().setDropCount(c.dropCount);
        ASSERT_TRUE(delegate->applicationDidFinishLaunching());
        EXPECT_EQ(m_controllersMade, c.due ? 1 : 0);
        if (c.due) {
            // A background check says nothing until it ends.
            ASSERT_TRUE(waitUntil([&] { return !m_statuses.isEmpty(); }));
            EXPECT_EQ(m_statuses, QStringList{L10n::aboutUpToDate()});
            EXPECT_EQ(delegate->preferences().lastUpdateCheck(), std::optional<Date>(now));
        } else {
            EXPECT_EQ(delegate->preferences().lastUpdateCheck(), c.lastCheck);
        }
        delegate->applicationWillTerminate();
    }
    EXPECT_TRUE(m_revealed.isEmpty());
}

TEST_F(DelegateUpdateTest, AStagedUpdateIsRevealedOnceAndARequestWhileRunningJoins) {
    m_offerNewer = true;
    auto delegate = makeWiredDelegate();
    delegate->checkForUpdates(true);
    ASSERT_TRUE(waitUntil([&] { return m_transport && m_transport->fetched().size() == 2; }));
    delegate->checkForUpdates(true);
    EXPECT_EQ(m_controllersMade, 1);
    EXPECT_EQ(feedFetches(), 1);
    EXPECT_FALSE(delegate->preferences().lastUpdateCheck());

    m_transport->resume();
    ASSERT_TRUE(waitUntil([&] { return m_statuses.size() == 3; }));
    EXPECT_EQ(m_statuses, (QStringList{L10n::aboutChecking(), L10n::aboutChecking(),
                                       L10n::aboutUpdateFound(QStringLiteral("9.0"))}));
    ASSERT_EQ(m_revealed.size(), 1);
    EXPECT_EQ(QFileInfo(m_revealed.front()).absolutePath(), downloads());
    EXPECT_TRUE(QFileInfo::exists(m_revealed.front()));
    EXPECT_EQ(delegate->preferences().lastUpdateCheck(), std::optional<Date>(m_shell.clock.now()));
    // Nothing more arrives for the joined request.
    QCoreApplication::processEvents();
    EXPECT_EQ(m_revealed.size(), 1);
    EXPECT_EQ(m_statuses.size(), 3);
}

TEST_F(DelegateUpdateTest, AFailedCheckShowsItsMessageAndIsStillDated) {
    m_serveFeed = false;
    auto delegate = makeWiredDelegate();
    delegate->checkForUpdates(false);
    ASSERT_TRUE(waitUntil([&] { return !m_statuses.isEmpty(); }));
    EXPECT_EQ(m_statuses, QStringList{L10n::aboutUpdateFailed()});
    EXPECT_TRUE(m_revealed.isEmpty());
    EXPECT_EQ(delegate->preferences().lastUpdateCheck(), std::optional<Date>(m_shell.clock.now()));
}

TEST_F(DelegateUpdateTest, TheAboutTabFollowsACheckAndItsButtonWaitsForIt) {
    m_offerNewer = true;
    auto delegate = makeWiredDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    delegate->showSettings();
    SettingsModel* model = delegate->settingsModel();
    ASSERT_TRUE(model);
    auto* button = delegate->settingsWindow()->window()->findChild<QPushButton*>(
        QStringLiteral("checkForUpdates"));
    ASSERT_TRUE(button);
    model->setSelectedTab(SettingsTab::about);
    button->click();
    EXPECT_EQ(model->updateStatus(), std::optional<QString>(L10n::aboutChecking()));
    EXPECT_TRUE(model->updateCheckRunning());
    EXPECT_FALSE(button->isEnabled());
    // A second press while the check runs asks for nothing.
    model->requestUpdateCheck();
    ASSERT_TRUE(waitUntil([&] { return m_transport && m_transport->fetched().size() == 2; }));
    m_transport->resume();
    ASSERT_TRUE(waitUntil([&] { return !model->updateCheckRunning(); }));
    EXPECT_EQ(model->updateStatus(),
              std::optional<QString>(L10n::aboutUpdateFound(QStringLiteral("9.0"))));
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(m_controllersMade, 1);
    EXPECT_EQ(feedFetches(), 1);
    EXPECT_EQ(m_statuses.size(), 2);
    delegate->applicationWillTerminate();
}

TEST_F(DelegateTest, SettingsAreMadeOnceAndARuleRequestOpensTheRulesTab) {
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    EXPECT_FALSE(delegate->settingsWindow());
    const QUuid item = QUuid::createUuid();
    delegate->controller()->onRequestRuleForApp(item);
    SettingsWindowController* window = delegate->settingsWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->window()->isVisible());
    EXPECT_EQ(window->tabs()->currentIndex(), int(SettingsTab::rules));
    EXPECT_EQ(&window->model().rulesStore(), &delegate->controller()->rulesStore());
    EXPECT_EQ(window->model().version(), AppDelegate::version());

    // Closed, then opened from the tray: the same window, on the same tab.
    window->model().setSelectedTab(SettingsTab::apps);
    window->window()->close();
    delegate->controller()->onRequestSettings();
    EXPECT_EQ(delegate->settingsWindow(), window);
    EXPECT_TRUE(window->window()->isVisible());
    EXPECT_EQ(window->tabs()->currentIndex(), int(SettingsTab::apps));
    delegate->applicationWillTerminate();
}

TEST_F(DelegateTest, SettingsReachTheShellThroughTheModel) {
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    delegate->showSettings();
    SettingsModel* model = delegate->settingsModel();
    ASSERT_TRUE(model);
    ASSERT_TRUE(delegate->menuBar());
    model->setPreference(Preferences::Key::showMenuBarIcon, false);
    EXPECT_FALSE(delegate->menuBar()->isVisible());
    model->setPreference(Preferences::Key::showMenuBarIcon, true);
    EXPECT_TRUE(delegate->menuBar()->isVisible());

    model->setPreference(Preferences::Key::launchAtLogin, true);
    EXPECT_TRUE(QFileInfo::exists(m_dir.file("config/autostart/com.tarvoapp.Tarvo.desktop")));
    model->setPreference(Preferences::Key::launchAtLogin, false);
    EXPECT_FALSE(QFileInfo::exists(m_dir.file("config/autostart/com.tarvoapp.Tarvo.desktop")));

    // A recorded shortcut is grabbed at once.
    const HotkeySpec spec{0, HotkeySpec::control | HotkeySpec::shift};
    model->setHotkey(spec);
    EXPECT_EQ(m_shell.hotkeys.grabbed(), std::optional<HotkeySpec>(spec));
    model->setPreference(Preferences::Key::hotkeyEnabled, false);
    EXPECT_EQ(m_shell.hotkeys.grabbed(), std::nullopt);

    // A rule added in the window reaches the engine.
    const size_t before = delegate->controller()->rulesStore().rules().size();
    model->addRule();
    EXPECT_EQ(delegate->controller()->rulesStore().rules().size(), before + 1);
    delegate->applicationWillTerminate();
}

TEST_F(DelegateTest, TheGeneralTabShowsATakenShortcutAndTheAccessibilityBus) {
    m_shell.hotkeys.taken = {HotkeySpec::defaultSpec()};
    m_shell.hotkeys.takenBy = QStringLiteral("Openbox");
    m_shell.accessibility.setTrusted(false);
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    delegate->showSettings();
    SettingsModel* model = delegate->settingsModel();
    ASSERT_TRUE(model);
    ASSERT_TRUE(model->hotkeyProblem());
    EXPECT_TRUE(model->hotkeyProblem()->contains(QStringLiteral("Openbox")));
    EXPECT_EQ(*model->hotkeyProblem(),
              HotkeyMonitor::failureMessage(HotkeySpec::defaultSpec(),
                                            *delegate->hotkeyMonitor()->lastFailure()));
    QWidget* window = delegate->settingsWindow()->window();
    auto* problem = window->findChild<QLabel*>(QStringLiteral("hotkeyProblem"));
    ASSERT_TRUE(problem);
    EXPECT_TRUE(problem->isVisible());
    EXPECT_EQ(problem->text(), *model->hotkeyProblem());

    // Another shortcut that is free clears the problem.
    model->setHotkey(HotkeySpec{0, HotkeySpec::control | HotkeySpec::option});
    EXPECT_EQ(model->hotkeyProblem(), std::nullopt);
    EXPECT_FALSE(problem->isVisible());

    // Editor-pane detection without the accessibility bus: the row says so
    // and the explanation comes up; once the bus is on, the row goes.
    EXPECT_FALSE(model->accessibilityAvailable());
    model->setPreference(Preferences::Key::editorPaneDetection, true);
    EXPECT_EQ(m_alerts.explanations.size(), 1);
    auto* row = window->findChild<QWidget*>(QStringLiteral("accessibilityRow"));
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->isVisible());
    m_shell.accessibility.setTrusted(true);
    window->close();
    delegate->showSettings();
    EXPECT_TRUE(model->accessibilityAvailable());
    EXPECT_FALSE(row->isVisible());
    delegate->applicationWillTerminate();
}

TEST_F(DelegateTest, TheTutorialOpensOnFirstStartAndItsSampleMovesItOn) {
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    OnboardingWindowController* onboarding = delegate->onboardingWindow();
    ASSERT_TRUE(onboarding);
    EXPECT_TRUE(onboarding->window()->isVisible());
    OnboardingModel& model = onboarding->model();
    EXPECT_EQ(model.shortcutKeys(), (QStringList{"Alt", "Space"}));

    // Something else lands: nothing; the sample lands: the step says so.
    const Item other =
        addTextItem(delegate->controller()->store(), QStringLiteral("note"), m_shell.clock.now());
    delegate->controller()->onItemsLanded({other});
    EXPECT_FALSE(model.sampleLanded());
    Item sample = other;
    sample.displayName = OnboardingSample::fileName();
    delegate->controller()->onItemsLanded({other, sample});
    EXPECT_TRUE(model.sampleLanded());

    // The shelf opens for the sample's drag, which starts in Tarvo's own
    // window, and settles when it ends.
    model.sampleDragChanged(true);
    EXPECT_EQ(delegate->controller()->state(), TarvoState::dragging);
    EXPECT_TRUE(delegate->controller()->dragInFlight());
    model.sampleDragChanged(false);
    EXPECT_FALSE(delegate->controller()->dragInFlight());

    // The last step's button records the finish, closes the tutorial and
    // opens the shelf.
    auto* primary = onboarding->window()->findChild<QPushButton*>(QStringLiteral("primary"));
    ASSERT_TRUE(primary);
    for (int step = 0; step < OnboardingModel::totalSteps; ++step)
        primary->click();
    EXPECT_TRUE(delegate->preferences().hasCompletedOnboarding());
    EXPECT_FALSE(delegate->onboardingWindow());
    EXPECT_NE(delegate->controller()->state(), TarvoState::hidden);
    QCoreApplication::processEvents();
    delegate->controller()->onItemsLanded({sample}); // the tutorial is gone
    delegate->applicationWillTerminate();

    // The next start shows no tutorial.
    delegate.reset();
    auto again = makeDelegate();
    ASSERT_TRUE(again->applicationDidFinishLaunching());
    EXPECT_FALSE(again->onboardingWindow());
    again->applicationWillTerminate();
}

TEST_F(DelegateTest, AHolderThatNeverAnswersEndsTheSecondStartWithItsReason) {
    // Holds the store's lock and answers nothing, as a hung process does.
    SingleInstance hung(m_dir.file("data/Tarvo"));
    ASSERT_EQ(hung.acquire(), SingleInstance::Outcome::first);
    Application second(m_alerts, 400);
    EXPECT_EQ(second.start(), Application::Start::unanswered);
    EXPECT_TRUE(second.reason().contains(QStringLiteral("did not answer")))
        << second.reason().toStdString();
    EXPECT_TRUE(second.reason().contains(QString::number(qint64(::getpid()))))
        << second.reason().toStdString();
    EXPECT_FALSE(second.delegate());
}

TEST_F(DelegateTest, SkippingTheTutorialAlsoCountsAsDone) {
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    ASSERT_TRUE(delegate->onboardingWindow());
    QWidget* window = delegate->onboardingWindow()->window();
    auto* skip = window->findChild<QPushButton*>(QStringLiteral("skip"));
    ASSERT_TRUE(skip);
    skip->click();
    EXPECT_TRUE(delegate->preferences().hasCompletedOnboarding());
    EXPECT_FALSE(delegate->onboardingWindow());
    QCoreApplication::processEvents();
    delegate->applicationWillTerminate();
}

TEST(BuildInfoTest, TheInformationKeysComeFromTheBuild) {
    EXPECT_EQ(AppDelegate::version(), QLatin1String(BuildInfo::shortVersion));
    EXPECT_EQ(BuildInfo::information(QStringLiteral("CFBundleShortVersionString")),
              QLatin1String(BuildInfo::shortVersion));
    EXPECT_EQ(BuildInfo::information(QStringLiteral("NoSuchKey")), std::nullopt);
    EXPECT_GE(AppDelegate::currentBuild(), 1);
    EXPECT_FALSE(AppDelegate::feedURL().isEmpty());
}

TEST(SingleInstanceTest, TheSecondHolderOfOneStoreFindsTheFirst) {
    TempDir dir;
    SingleInstance first(dir.file("Tarvo"));
    ASSERT_EQ(first.acquire(), SingleInstance::Outcome::first);
    SingleInstance second(dir.file("Tarvo"));
    EXPECT_EQ(second.acquire(), SingleInstance::Outcome::another);
    SingleInstance elsewhere(dir.file("Other"));
    EXPECT_EQ(elsewhere.acquire(), SingleInstance::Outcome::first);

    QFile blocker(dir.file("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    SingleInstance broken(dir.file("blocked/Tarvo"));
    EXPECT_EQ(broken.acquire(), SingleInstance::Outcome::failed);
    EXPECT_FALSE(broken.error().isEmpty());
}

TEST(SingleInstanceTest, TheLockGoesWithItsHolder) {
    TempDir dir;
    {
        SingleInstance first(dir.file("Tarvo"));
        ASSERT_EQ(first.acquire(), SingleInstance::Outcome::first);
    }
    SingleInstance next(dir.file("Tarvo"));
    EXPECT_EQ(next.acquire(), SingleInstance::Outcome::first);
}

// Whatever is planted at the lock's path stays as it is, and Tarvo refuses to
// start over it with a line that names the path.
TEST(SingleInstanceTest, ALockPathThatIsNotPlainlyOursIsRefusedUntouched) {
    struct Case {
        const char* name;
        std::function<void(const QString& lock, const QString& victim)> plant;
    };
    const std::vector<Case> cases = {
        {"a symbolic link to a file",
         [](const QString& lock, const QString& victim) {
             ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(),
                                 QFile::encodeName(lock).constData()),
                       0);
         }},
        {"a dangling symbolic link",
         [](const QString& lock, const QString& victim) {
             ASSERT_EQ(::symlink(QFile::encodeName(victim + ".missing").constData(),
                                 QFile::encodeName(lock).constData()),
                       0);
         }},
        {"a hard link to a file",
         [](const QString& lock, const QString& victim) {
             ASSERT_EQ(
                 ::link(QFile::encodeName(victim).constData(), QFile::encodeName(lock).constData()),
                 0);
         }},
        {"a named pipe",
         [](const QString& lock, const QString&) {
             ASSERT_EQ(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);
         }},
        {"a folder", [](const QString& lock, const QString&) { ASSERT_TRUE(QDir().mkpath(lock)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const QString folder = dir.file("Tarvo");
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString victim = dir.file("notes.txt");
        {
            QFile file(victim);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("keep me\n");
        }
        const QString lock = folder + "/tarvo.lock";
        c.plant(lock, victim);
        SingleInstance instance(folder);
        EXPECT_EQ(instance.acquire(), SingleInstance::Outcome::failed);
        EXPECT_TRUE(instance.error().contains(lock)) << instance.error().toStdString();
        EXPECT_TRUE(instance.error().contains("Tarvo does not start over it"))
            << instance.error().toStdString();
        EXPECT_EQ(dir.read("notes.txt"), "keep me\n");
        EXPECT_FALSE(QFileInfo::exists(victim + ".missing"));
    }
}

TEST(SingleInstanceTest, ALockFileLeftByAnEarlierRunIsTakenAgain) {
    TempDir dir;
    const QString folder = dir.file("Tarvo");
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        QFile stale(folder + "/tarvo.lock");
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("999999999999\n");
    }
    SingleInstance instance(folder);
    ASSERT_EQ(instance.acquire(), SingleInstance::Outcome::first);
    EXPECT_EQ(dir.read("Tarvo/tarvo.lock"), QByteArray::number(qint64(::getpid())) + '\n');
}

// Asks at `path` from a thread of its own while this one answers.
bool askWhileAnswering(const QString& path) {
    auto asked =
        std::async(std::launch::async, [path] { return InstanceSocket::ask(path, 10000); });
    while (asked.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return asked.get();
}

sockaddr_un socketAddress(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    return address;
}

// Without a session bus the socket beside the lock carries the request: the
// socket a killed process left refuses and is replaced by the next holder,
// which answers every asking; only its user can connect, and it goes with
// its holder.
TEST(InstanceSocketTest, TheHolderAnswersOverTheSocketAndOnlyItsUserGetsThrough) {
    TempDir dir;
    const QString path = dir.file("tarvo.socket");
    const sockaddr_un address = socketAddress(path);
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
    }
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_FALSE(InstanceSocket::ask(path, 10000));

    int opened = 0;
    {
        InstanceSocket socket(path);
        ASSERT_TRUE(socket.listen([&opened] { ++opened; }));
        EXPECT_TRUE(askWhileAnswering(path));
        EXPECT_TRUE(askWhileAnswering(path));
        EXPECT_EQ(opened, 2);

        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        if (::geteuid() == 0) {
            // Another user, with the folders open to all: only the socket's
            // own mode keeps them out.
            ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
            const pid_t child = ::fork();
            if (child == 0) {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(2);
                const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                const int connected =
                    ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
                ::_exit(connected == 0 ? 0 : errno == EACCES ? 1 : 3);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1)
                << "another user reached the socket: " << status;
        }
    }
    EXPECT_EQ(opened, 2);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_FALSE(InstanceSocket::ask(path, 10000));

    InstanceSocket tooLong(dir.file(QString(120, u'x')));
    EXPECT_FALSE(tooLong.listen([] {}));
    EXPECT_FALSE(InstanceSocket::ask(dir.file(QString(120, u'x')), 10000));
}

TEST(EntryTest, VersionAndHelpAnswerWithoutADisplay) {
    const auto version = Entry::answerCommandLine({"tarvo", "--version"});
    ASSERT_TRUE(version);
    EXPECT_EQ(version->exitCode, 0);
    EXPECT_TRUE(version->text.startsWith(QStringLiteral("Tarvo ") +
                                         QLatin1String(BuildInfo::shortVersion)));
    const auto help = Entry::answerCommandLine({"/usr/bin/tarvo", "--help"});
    ASSERT_TRUE(help);
    EXPECT_EQ(help->exitCode, 0);
    EXPECT_TRUE(help->text.startsWith(QStringLiteral("Usage: tarvo")));
    {
        TempDir dir;
        ScopedEnvironment data("XDG_DATA_HOME", QFile::encodeName(dir.file("data")));
        ScopedEnvironment config("XDG_CONFIG_HOME", QFile::encodeName(dir.file("config")));
        const auto where = Entry::answerCommandLine({"tarvo", "--help"});
        ASSERT_TRUE(where);
        for (const QString& kept : {dir.file("data/Tarvo/Items"), dir.file("data/Tarvo/rules.json"),
                                    dir.file("config/Tarvo/Tarvo.conf")})
            EXPECT_TRUE(where->text.contains(kept)) << where->text.toStdString();
        EXPECT_FALSE(QFileInfo::exists(dir.file("data"))) << "the help makes nothing";
    }
    const auto bad = Entry::answerCommandLine({"tarvo", "--frobnicate"});
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->exitCode, 2);
    EXPECT_FALSE(bad->errorText.isEmpty());
    EXPECT_EQ(Entry::answerCommandLine({"tarvo"}), std::nullopt);
}

TEST(EntryTest, AnUnreachableDisplayIsOneClearLine) {
    ScopedEnvironment platform("QT_QPA_PLATFORM", "xcb");
    {
        ScopedEnvironment display("DISPLAY", ":9999");
        const auto problem = Entry::displayProblem();
        ASSERT_TRUE(problem);
        EXPECT_EQ(*problem, QStringLiteral("tarvo: cannot open the X display :9999"));
    }
    ScopedEnvironment display("DISPLAY", "");
    EXPECT_TRUE(Entry::displayProblem());
}

// A start with no HOME (a bare environment) finds the user's home in the
// password database; a HOME that is set is left alone.
TEST(EntryTest, AMissingHomeIsTheUsersOwn) {
    const QByteArray saved = qgetenv("HOME");
    const passwd* user = ::getpwuid(::getuid());
    ASSERT_TRUE(user && user->pw_dir);
    for (const QByteArray& unset : {QByteArray(), QByteArray("")}) {
        if (unset.isNull())
            qunsetenv("HOME");
        else
            qputenv("HOME", unset);
        Entry::findHome();
        EXPECT_EQ(qgetenv("HOME"), QByteArray(user->pw_dir));
    }
    qputenv("HOME", "/somewhere/else");
    Entry::findHome();
    EXPECT_EQ(qgetenv("HOME"), "/somewhere/else");
    qputenv("HOME", saved);
}

TEST(AccessibilitySettingsTest, OpensTheRunningDesktopsSettingsFirst) {
    const auto installed = [](QStringList programs) {
        return [programs](const QString& name) {
            return programs.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
        };
    };
    using Command = AccessibilitySettings::Command;
    const QStringList all{"xfce4-accessibility-settings", "gnome-control-center", "systemsettings"};
    EXPECT_EQ(AccessibilitySettings::command(QStringLiteral("ubuntu:GNOME"), installed(all)),
              (Command{"/usr/bin/gnome-control-center", {"universal-access"}}));
    EXPECT_EQ(AccessibilitySettings::command(QStringLiteral("KDE"), installed(all)),
              (Command{"/usr/bin/systemsettings", {"kcm_access"}}));
    EXPECT_EQ(AccessibilitySettings::command(QStringLiteral("LXQt"), installed(all)),
              (Command{"/usr/bin/xfce4-accessibility-settings", {}}));
    EXPECT_EQ(AccessibilitySettings::command(QStringLiteral("XFCE"), installed({})), std::nullopt);
}

TEST(StoreAccessTest, AFreshOrHealthyStoreOpens) {
    TempDir dir;
    EXPECT_NO_THROW(StoreAccess::checkOpenable(dir.file("missing")));
    dir.write("Items/tarvo.json", "{}");
    EXPECT_NO_THROW(StoreAccess::checkOpenable(dir.file("Items")));
}

} // namespace
} // namespace tarvo::test
