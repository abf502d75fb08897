#pragma once

#include "LaunchAtLogin.h"

#include "TarvoCore/Date.h"
#include "TarvoShell/ShellPlatform.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tarvo {

class Alerts;
class HotkeyMonitor;
class MenuBarController;
class OnboardingModel;
class OnboardingWindowController;
class Preferences;
class RulesStore;
class SettingsModel;
class SettingsWindowController;
class TarvoController;
class UpdateController;
struct UpdateCheckResult;
class UserDefaults;

// Starts Tarvo, owns its long-lived objects and connects the shelf's
// controller to the tray, the hotkey, the settings, onboarding and the update
// check. Main thread only.
class AppDelegate final {
public:
    static constexpr double updateInterval = 604800;

    // None of the arguments but `launchAtLogin` is owned; the platform and
    // the alerts must outlive the delegate.
    AppDelegate(ShellPlatform platform, Alerts& alerts,
                QString settingsPath = standardSettingsPath(),
                LaunchAtLogin launchAtLogin = LaunchAtLogin::standard());
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // "Tarvo/Tarvo.conf" in the user's configuration folder.
    static QString standardSettingsPath();

    // Runs the start-up; a failure is logged and shown, and gives false: the
    // process then ends.
    bool applicationDidFinishLaunching();
    // Builds and wires everything; throws FileError when the store cannot be
    // opened or a folder cannot be made.
    void startUp();
    void applicationWillTerminate();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return false; }

    TarvoController* controller() const { return m_controller.get(); }
    MenuBarController* menuBar() const { return m_menuBar.get(); }
    // The global shortcut; none where the window system offers none. Its
    // lastFailure says why a shortcut could not be registered.
    HotkeyMonitor* hotkeyMonitor() const { return m_hotkey.get(); }
    Preferences& preferences() const { return *m_preferences; }

    void makeMenuBar();
    // Shows the settings window, making the model and the window on first
    // use; on the tab last chosen unless the caller set another.
    void showSettings();
    // A new settings model over the preferences and the shelf's rules, with
    // every callback set; none when there are no rules to show.
    std::unique_ptr<SettingsModel> makeSettingsModel();
    // The one settings model, made when settings are first needed.
    SettingsModel* settingsModel();
    SettingsWindowController* settingsWindow() const { return m_settingsWindow.get(); }
    void applyLaunchAtLogin();
    // Registers, re-registers or lets go of the global shortcut, and tells
    // the settings why it could not be registered.
    void applyHotkey();
    // After any change of the preferences: the tray icon shown or removed,
    // the shortcut registered again, the controller told.
    void preferencesDidChange();
    void scheduleUpdateCheck();
    void checkForUpdates(bool userInitiated);
    // Opens the first-run tutorial; the sample landing on the shelf moves
    // it on, and finishing it records that, closes it and opens the shelf.
    void showOnboarding();
    // The tutorial's window while it is open.
    OnboardingWindowController* onboardingWindow() const { return m_onboardingWindow.get(); }
    void requestAccessibility();
    // The explanation alert: its button opens the desktop's accessibility
    // settings where one is installed; otherwise the text says what to do.
    void explain(const QString& message);

    // Whether a background update check runs: never before the first
    // delivery out of the shelf, then once every seven days or more (a last
    // check dated in the future counts as due).
    static bool updateCheckDue(std::optional<Date> lastCheck, qint64 dropCount, Date now);
    // The feed: the build's own address when it is a valid URL, else the
    // built-in one.
    static QString feedURL();
    // The build number; 1 when it is absent or no number.
    static qint64 currentBuild();
    // The version people read; "1.0" when the build names none.
    static QString version();

    // Also told the update check's status text, which the About tab shows.
    std::function<void(const QString& status)> onUpdateStatus;
    // Makes the update controller; unset, it checks the build's feed over
    // the network with the build's key. Tests give their own.
    std::function<std::unique_ptr<UpdateController>()> makeUpdateController;
    // Shows a staged download to the user; unset, the file manager selects it.
    std::function<void(const QString& path)> revealFile;

    // Asks the desktop's file manager to select `path`; without one, opens
    // its folder.
    static void revealInFileManager(const QString& path);

private:
    void applyHotkeyToGrabber();
    void finishOnboarding();
    void updateCheckFinished(const UpdateCheckResult& result);
    // What the settings window shows of the shell's state.
    void publishHotkeyState();
    // Why the shortcut does not work; none while it works or is off.
    std::optional<QString> hotkeyProblem() const;
    void publishAccessibilityState();
    void publishUpdateStatus(const QString& status);

    ShellPlatform m_platform;
    Alerts& m_alerts;
    LaunchAtLogin m_launchAtLogin;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<TarvoController> m_controller;
    std::unique_ptr<MenuBarController> m_menuBar;
    std::unique_ptr<HotkeyMonitor> m_hotkey;
    // The rules the settings show when the start-up failed.
    std::unique_ptr<RulesStore> m_spareRulesStore;
    // The window goes before the model, the model before the rules it shows.
    std::unique_ptr<SettingsModel> m_settingsModel;
    std::unique_ptr<SettingsWindowController> m_settingsWindow;
    std::unique_ptr<OnboardingModel> m_onboardingModel;
    std::unique_ptr<OnboardingWindowController> m_onboardingWindow;
    // Last, so a check still running goes before what its completion uses.
    std::unique_ptr<UpdateController> m_updates;
};

} // namespace tarvo
