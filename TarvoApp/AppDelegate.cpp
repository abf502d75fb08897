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
#include "TarvoPlatform/Accessibility.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/WorkRoot.h"
#include "TarvoShell/HotkeyMonitor.h"
#include "TarvoShell/MenuBarController.h"
#include "TarvoShell/TarvoController.h"
#include "TarvoUpdates/AppcastSignature.h"
#include "TarvoUpdates/URLSessionUpdateTransport.h"
#include "TarvoUpdates/UpdateCheckResult.h"
#include "TarvoUpdates/UpdateController.h"
#include "TarvoUpdates/UpdateSchedule.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
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
    m_controller->onSeenNewApp = [](const QString&) {};
    m_controller->onRequestRuleForApp = [this](const QUuid&) { showSettings(); };
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
}

void AppDelegate::makeMenuBar() {
    TarvoController* controller = m_controller.get();
    MenuBarController::Actions actions{
        [controller] { controller->openTarvo(); },  [controller] { controller->undoLastDrop(); },
        [controller] { controller->clearTarvo(); }, [this] { showSettings(); },
        [] { QCoreApplication::quit(); },
    };
    m_menuBar = std::make_unique<MenuBarController>(std::move(actions));
    m_menuBar->setVisible(m_preferences->showMenuBarIcon());
}

void AppDelegate::preferencesDidChange() {
    if (m_controller)
        m_controller->preferencesDidChange();
    if (m_menuBar)
        m_menuBar->setVisible(m_preferences->showMenuBarIcon());
    applyHotkey();
}

void AppDelegate::showSettings() {}

void AppDelegate::applyLaunchAtLogin() {
    const bool wanted = m_preferences->launchAtLogin();
    try {
        if (wanted == m_launchAtLogin.isEnabled())
            return;
        if (wanted)
            m_launchAtLogin.enable();
        else
            m_launchAtLogin.disable();
    } catch (const FileError& error) {
        Log::core().error(QStringLiteral("launch at login: %1").arg(error.description()));
    }
}

void AppDelegate::applyHotkey() {
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
    if (userInitiated && onUpdateStatus)
        onUpdateStatus(L10n::aboutChecking());
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
                QUrl(feedURL()), currentBuild(), std::make_unique<URLSessionUpdateTransport>(),
                std::nullopt, AppcastSignature::publicKeyBase64());
        }
    }
    m_updates->check(nullptr,
                     [this](const UpdateCheckResult& result) { updateCheckFinished(result); });
}

void AppDelegate::updateCheckFinished(const UpdateCheckResult& result) {
    m_preferences->setLastUpdateCheck(m_platform.clock.now());
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
    if (onUpdateStatus)
        onUpdateStatus(status);
}

void AppDelegate::revealInFileManager(const QString& path) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QString folder = QFileInfo(path).absolutePath();
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 10000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) {
                             Log::updates().notice(
                                 QStringLiteral("no file manager to show the update: %1")
                                     .arg(finished->error().message()));
                             QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
                         }
                         finished->deleteLater();
                     });
}

void AppDelegate::showOnboarding() {}

void AppDelegate::requestAccessibility() {
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
