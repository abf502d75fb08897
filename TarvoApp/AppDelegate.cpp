#include "AppDelegate.h"

#include "AccessibilitySettings.h"
#include "Alerts.h"
#include "StoreAccess.h"

#include "TarvoCore/BuildInfo.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Log.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoDrag/DragMonitor.h"
#include "TarvoPlatform/Accessibility.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/DesktopFileViewer.h"
#include "TarvoPlatform/HotkeyKeys.h"
#include "TarvoPlatform/WorkRoot.h"
#include "TarvoShell/HotkeyMonitor.h"
#include "TarvoShell/MenuBarController.h"
#include "TarvoShell/TarvoController.h"
#include "OnboardingArt.h"
#include "OnboardingModel.h"
#include "OnboardingWindow.h"
#include "SettingsModel.h"
#include "SettingsWindow.h"
#include "TarvoUpdates/AppcastSignature.h"
#include "TarvoUpdates/ModuleUpdateTransport.h"
#include "TarvoUpdates/UpdateCheckResult.h"
#include "TarvoUpdates/UpdateController.h"
#include "TarvoUpdates/UpdateSchedule.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace tarvo {

AppDelegate::AppDelegate(ShellPlatform platform, Alerts& alerts, QString settingsPath,
                         LaunchAtLogin launchAtLogin)
    : m_platform(platform), m_alerts(alerts), m_launchAtLogin(std::move(launchAtLogin)),
      m_defaults(std::make_unique<UserDefaults>(settingsPath)),
      m_preferences(std::make_unique<Preferences>(*m_defaults)) {}

AppDelegate::~AppDelegate() = default;

QString AppDelegate::standardSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tarvo/Tarvo.conf");
}

bool AppDelegate::applicationDidFinishLaunching() {
    try {
        startUp();
        return true;
    } catch (const FileError& error) {
        Log::core().fault(QStringLiteral("could not start: %1").arg(error.description()));
        m_alerts.showFailure(error.description());
    } catch (const std::exception& error) {
        const QString text = QString::fromUtf8(error.what());
        Log::core().fault(QStringLiteral("could not start: %1").arg(text));
        m_alerts.showFailure(text);
    }
    m_controller.reset();
    return false;
}

void AppDelegate::startUp() {
    const QString root = ItemStore::defaultRoot();
    const QString rulesDirectory = RulesStore::defaultDirectory();
    StoreAccess::checkOpenable(root);
    auto store = std::make_unique<ItemStore>(root);
    auto rulesStore = std::make_unique<RulesStore>(rulesDirectory);
    const QString workRoot = WorkRoot::prepare();
    m_controller = std::make_unique<TarvoController>(std::move(store), std::move(rulesStore),
                                                     *m_preferences, workRoot, m_platform);

    makeMenuBar();
    m_controller->onSeenNewApp = [this](const QString&) {
        if (m_settingsModel && m_settingsModel->onRulesChanged())
            m_settingsModel->onRulesChanged()();
    };
    m_controller->onRequestRuleForApp = [this](const QUuid&) {
        if (SettingsModel* model = settingsModel())
            model->setSelectedTab(SettingsTab::rules);
        showSettings();
    };
    m_controller->onRequestSettings = [this] { showSettings(); };
    m_controller->onNeedsAccessibilityForPaste = [this] { requestAccessibility(); };
    m_controller->start();

    applyLaunchAtLogin();
    applyHotkey();
    scheduleUpdateCheck();
    if (!m_preferences->hasCompletedOnboarding())
        showOnboarding();
}

void AppDelegate::applicationWillTerminate() {
    if (m_controller)
        m_controller->stop();
    if (m_hotkey)
        m_hotkey->deactivate();
    m_defaults->waitForWrites();
}

void AppDelegate::makeMenuBar() {
    TarvoController* controller = m_controller.get();
    MenuBarController::Actions actions{
        [controller] { controller->openTarvo(); },  [controller] { controller->undoLastDrop(); },
        [controller] { controller->clearTarvo(); }, [this] { showSettings(); },
        [] { QCoreApplication::quit(); },
    };
    m_menuBar = std::make_unique<MenuBarController>(std::move(actions));
    // Qt hands the icon to a StatusNotifierItem panel when the bus has a
    // watcher for one (Xfce's panel, KDE's), else to an XEmbed tray.
    if (const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface())
        m_menuBar->setPanelDrawsMenu(
            bus->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")));
    m_menuBar->setVisible(m_preferences->showMenuBarIcon());
}

void AppDelegate::preferencesDidChange() {
    if (m_controller)
        m_controller->preferencesDidChange();
    if (m_menuBar)
        m_menuBar->setVisible(m_preferences->showMenuBarIcon());
    applyLaunchAtLogin();
    applyHotkey();
}

std::unique_ptr<SettingsModel> AppDelegate::makeSettingsModel() {
    RulesStore* rules = m_controller ? &m_controller->rulesStore() : nullptr;
    if (!rules) {
        // Only after a failed start-up: the window still opens, over rules
        // of its own that the shelf never reads.
        try {
            if (!m_spareRulesStore)
                m_spareRulesStore =
                    std::make_unique<RulesStore>(WorkRoot::prepare() + QStringLiteral("/settings"));
        } catch (const FileError& error) {
            Log::core().error(QStringLiteral("no settings: %1").arg(error.description()));
            return nullptr;
        }
        rules = m_spareRulesStore.get();
    }
    auto model = std::make_unique<SettingsModel>(*m_preferences, *rules, &m_platform.applications);
    model->setVersion(version());
    model->setOnRulesChanged([this] {
        if (m_controller)
            m_controller->rulesDidChange();
    });
    model->setOnPreferencesChanged([this] { preferencesDidChange(); });
    model->setCheckForUpdates([this] { checkForUpdates(true); });
    model->setRequestAccessibilityPermission([this] { requestAccessibility(); });
    model->setRequestInputMonitoringPermission([this] { applyHotkey(); });
    return model;
}

SettingsModel* AppDelegate::settingsModel() {
    if (!m_settingsModel) {
        m_settingsModel = makeSettingsModel();
        if (!m_settingsModel)
            return nullptr;
        m_settingsModel->setUpdateCheckRunning(m_updates && m_updates->isChecking());
        publishHotkeyState();
        publishAccessibilityState();
    }
    return m_settingsModel.get();
}

void AppDelegate::showSettings() {
    SettingsModel* model = settingsModel();
    if (!model)
        return;
    if (!m_settingsWindow)
        m_settingsWindow = std::make_unique<SettingsWindowController>(*model);
    // The user may have turned the accessibility bus on since the last look.
    publishAccessibilityState();
    m_settingsWindow->show();
}

void AppDelegate::publishHotkeyState() {
    const std::optional<QString> problem = hotkeyProblem();
    if (m_settingsModel)
        m_settingsModel->setHotkeyProblem(problem);
    if (m_onboardingModel) {
        if (const std::optional<HotkeySpec> spec = m_preferences->hotkey())
            m_onboardingModel->setShortcutKeys(HotkeyKeys::keycaps(*spec));
        m_onboardingModel->setShortcutProblem(problem.value_or(QString()));
    }
}

std::optional<QString> AppDelegate::hotkeyProblem() const {
    std::optional<QString> problem;
    if (!m_preferences->hotkeyEnabled())
        problem = std::nullopt;
    else if (!m_platform.hotkeys)
        problem = L10n::hotkeyNoDisplay();
    else if (const std::optional<HotkeySpec> spec = m_preferences->hotkey();
             spec && m_hotkey && m_hotkey->lastFailure())
        problem = HotkeyMonitor::failureMessage(*spec, *m_hotkey->lastFailure());
    return problem;
}

void AppDelegate::publishAccessibilityState() {
    if (m_settingsModel)
        m_settingsModel->setAccessibilityAvailable(m_platform.accessibility.isTrusted());
}

void AppDelegate::publishUpdateStatus(const QString& status) {
    if (m_settingsModel)
        m_settingsModel->setUpdateStatus(status);
    if (onUpdateStatus)
        onUpdateStatus(status);
}

void AppDelegate::applyLaunchAtLogin() {
    try {
        m_launchAtLogin.apply(m_preferences->launchAtLogin());
    } catch (const FileError& error) {
        Log::core().error(QStringLiteral("launch at login: %1").arg(error.description()));
    }
}

void AppDelegate::applyHotkey() {
    applyHotkeyToGrabber();
    publishHotkeyState();
}

void AppDelegate::applyHotkeyToGrabber() {
    if (!m_platform.hotkeys || !m_controller)
        return;
    if (!m_hotkey) {
        m_hotkey = std::make_unique<HotkeyMonitor>(*m_platform.hotkeys);
        TarvoController* controller = m_controller.get();
        m_hotkey->onTrigger = [controller] { controller->toggleTarvo(); };
    }
    const std::optional<HotkeySpec> spec = m_preferences->hotkey();
    if (m_preferences->hotkeyEnabled() && spec)
        m_hotkey->activate(*spec);
    else
        m_hotkey->deactivate();
}

bool AppDelegate::updateCheckDue(std::optional<Date> lastCheck, qint64 dropCount, Date now) {
    return UpdateSchedule::isDue(now, lastCheck, dropCount);
}

QString AppDelegate::feedURL() {
    if (const std::optional<QString> feed = BuildInfo::information(QStringLiteral("SUFeedURL"))) {
        const QUrl url(*feed, QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty())
            return *feed;
    }
    return TarvoLinks::appcast();
}

qint64 AppDelegate::currentBuild() {
    const QString build =
        BuildInfo::information(QStringLiteral("CFBundleVersion")).value_or(QStringLiteral("1"));
    bool ok = false;
    const qint64 number = build.toLongLong(&ok, 10);
    return ok ? number : 1;
}

QString AppDelegate::version() {
    return BuildInfo::information(QStringLiteral("CFBundleShortVersionString"))
        .value_or(QStringLiteral("1.0"));
}

void AppDelegate::scheduleUpdateCheck() {
    if (updateCheckDue(m_preferences->lastUpdateCheck(), m_preferences->dropCount(),
                       m_platform.clock.now()))
        checkForUpdates(false);
}

void AppDelegate::checkForUpdates(bool userInitiated) {
    if (userInitiated)
        publishUpdateStatus(L10n::aboutChecking());
    // A check asked for while one runs joins it: its one completion reports.
    if (m_updates && m_updates->isChecking())
        return;
    if (!m_updates) {
        if (makeUpdateController) {
            m_updates = makeUpdateController();
        } else {
            // No downloads folder given: the controller takes the user's
            // Downloads folder, else the per-user work root.
            m_updates = std::make_unique<UpdateController>(
                QUrl(feedURL()), currentBuild(), std::make_unique<ModuleUpdateTransport>(),
                std::nullopt, AppcastSignature::publicKeyBase64());
        }
    }
    if (m_settingsModel)
        m_settingsModel->setUpdateCheckRunning(true);
    m_updates->check(nullptr,
                     [this](const UpdateCheckResult& result) { updateCheckFinished(result); });
}

void AppDelegate::updateCheckFinished(const UpdateCheckResult& result) {
    m_preferences->setLastUpdateCheck(m_platform.clock.now());
    if (m_settingsModel)
        m_settingsModel->setUpdateCheckRunning(false);
    QString status;
    if (const auto* ready = std::get_if<UpdateCheckResult::UpdateReady>(&result.value)) {
        status = L10n::aboutUpdateFound(ready->item.shortVersion);
        if (revealFile)
            revealFile(ready->stagedAt);
        else
            revealInFileManager(ready->stagedAt);
    } else if (const auto* failed = std::get_if<UpdateCheckResult::Failed>(&result.value)) {
        status = failed->message;
    } else {
        status = L10n::aboutUpToDate();
    }
    publishUpdateStatus(status);
}

void AppDelegate::revealInFileManager(const QString& path) {
    DesktopFileViewer().reveal(path);
}

void AppDelegate::showOnboarding() {
    if (m_onboardingWindow) {
        m_onboardingWindow->show();
        return;
    }
    m_onboardingModel = std::make_unique<OnboardingModel>();
    m_onboardingWindow = std::make_unique<OnboardingWindowController>(*m_onboardingModel);
    OnboardingModel& model = *m_onboardingModel;
    publishHotkeyState();
    // A shortcut recorded in the tutorial is the settings' own.
    model.onShortcutRecorded = [this](const HotkeySpec& spec) {
        if (SettingsModel* settings = settingsModel())
            settings->setHotkey(spec);
    };
    if (m_controller) {
        QPointer<OnboardingModel> watched = &model;
        m_controller->onItemsLanded = [watched](const std::vector<Item>& items) {
            if (!watched)
                return;
            for (const Item& item : items) {
                if (item.displayName == OnboardingSample::fileName())
                    watched->setSampleLanded(true);
            }
        };
    }
    model.setOnSampleDrag([this](bool inFlight) {
        if (!m_controller)
            return;
        if (inFlight)
            m_controller->dragMonitor(m_controller->monitor(), QPointF());
        else
            m_controller->dragMonitorDragEnded(m_controller->monitor());
    });
    model.setOnFinish([this] { finishOnboarding(); });
    m_onboardingWindow->show();
}

void AppDelegate::finishOnboarding() {
    m_preferences->setHasCompletedOnboarding(true);
    if (m_onboardingWindow)
        m_onboardingWindow->close();
    // The finish runs inside the tutorial's own button: its window and model
    // go once that has returned.
    auto finished = std::make_shared<
        std::pair<std::unique_ptr<OnboardingModel>, std::unique_ptr<OnboardingWindowController>>>(
        std::move(m_onboardingModel), std::move(m_onboardingWindow));
    QTimer::singleShot(0, QCoreApplication::instance(), [finished]() mutable {
        finished->second.reset();
        finished->first.reset();
    });
    if (m_controller)
        m_controller->openTarvo();
}

void AppDelegate::requestAccessibility() {
    publishAccessibilityState();
    if (!m_platform.accessibility.isTrusted()) {
        explain(L10n::permissionAccessibility());
        return;
    }
    if (m_controller)
        m_controller->preferencesDidChange();
}

void AppDelegate::explain(const QString& message) {
    const std::optional<AccessibilitySettings::Command> settings = AccessibilitySettings::command();
    if (!settings) {
        m_alerts.explain(message + QStringLiteral("\n\n") + AccessibilitySettings::howToTurnOn(),
                         QString(), L10n::permissionNotNow());
        return;
    }
    if (m_alerts.explain(message, L10n::permissionOpenSettings(), L10n::permissionNotNow()))
        QProcess::startDetached(settings->program, settings->arguments);
}

} // namespace tarvo
