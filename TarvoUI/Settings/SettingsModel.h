#pragma once

#include "TarvoCore/HotkeySpec.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RuleModel.h"

#include <QIcon>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>
#include <vector>

namespace tarvo {

class ApplicationDirectory;
class RulesStore;

enum class SettingsTab { general, rules, apps, about };

// The hotkey as the General tab shows it, in the words of a Linux keyboard.
namespace HotkeyFormatter {
// "Ctrl+Alt+Shift+Super+A": the modifiers present, always in that order, then
// the key's name. Other flag bits are ignored.
QString describe(const HotkeySpec& spec);
// The name of a virtual key code; "Key 122" for one without a name.
QString keyName(quint16 keyCode);
} // namespace HotkeyFormatter

// The one object behind the settings window: its own state (tab, revision,
// version, update status), the user's choices written through to the
// preferences and the rules store, and the operations the tabs call. The
// observed properties notify only when a write changes them; the callbacks
// tell the shell what changed. Main thread only.
class SettingsModel final : public QObject {
    Q_OBJECT

public:
    // `applications` answers which applications are installed and what they
    // are called; without it no application counts as installed. All three
    // must outlive the model.
    SettingsModel(Preferences& preferences, RulesStore& rulesStore,
                  const ApplicationDirectory* applications = nullptr, QObject* parent = nullptr);

    Preferences& preferences() const { return m_preferences; }
    RulesStore& rulesStore() const { return m_rulesStore; }

    SettingsTab selectedTab() const { return m_selectedTab; }
    void setSelectedTab(SettingsTab tab);
    qint64 revision() const { return m_revision; }
    const QString& version() const { return m_version; }
    void setVersion(const QString& version);
    const std::optional<QString>& updateStatus() const { return m_updateStatus; }
    void setUpdateStatus(const std::optional<QString>& status);

    // What the shell last found out about the global shortcut: why it could
    // not be registered, or nothing while it works.
    const std::optional<QString>& hotkeyProblem() const { return m_hotkeyProblem; }
    void setHotkeyProblem(const std::optional<QString>& problem);
    // Whether the desktop's accessibility bus is on, which editor-pane
    // detection and auto-paste need.
    bool accessibilityAvailable() const { return m_accessibilityAvailable; }
    void setAccessibilityAvailable(bool available);
    // Whether an update check is under way; set by the shell.
    bool updateCheckRunning() const { return m_updateCheckRunning; }
    void setUpdateCheckRunning(bool running);
    // Runs `checkForUpdates` unless a check is under way already.
    void requestUpdateCheck();

    // The shell's callbacks; setting one always notifies.
    const std::function<void()>& onRulesChanged() const { return m_onRulesChanged; }
    void setOnRulesChanged(std::function<void()> callback);
    const std::function<void()>& onPreferencesChanged() const { return m_onPreferencesChanged; }
    void setOnPreferencesChanged(std::function<void()> callback);
    const std::function<void()>& checkForUpdates() const { return m_checkForUpdates; }
    void setCheckForUpdates(std::function<void()> callback);
    const std::function<void()>& requestAccessibilityPermission() const {
        return m_requestAccessibilityPermission;
    }
    void setRequestAccessibilityPermission(std::function<void()> callback);
    const std::function<void()>& requestInputMonitoringPermission() const {
        return m_requestInputMonitoringPermission;
    }
    void setRequestInputMonitoringPermission(std::function<void()> callback);

    // The Boolean preferences, each by its key: every write stores and
    // reports, changed or not. Switching on editor-pane detection asks for the
    // accessibility bus first, switching on the hotkey asks for it to be
    // registered first.
    bool preference(Preferences::Key key) const;
    void setPreference(Preferences::Key key, bool on);

    // The stored hotkey, or the words for none.
    QString hotkeyDescription() const;
    // Stores a newly recorded hotkey and reports it like any preference.
    void setHotkey(const HotkeySpec& spec);

    const std::vector<Rule>& rules() const;

    // The rule a new row starts as: images converted to JPEG for browsers.
    static Rule newRule();
    void addRule();
    void removeRules(const QSet<QUuid>& ids);
    // Replaces the stored rule with the same id. False, with the stored rule
    // left as it was, when the rules file could not be written.
    bool updateRule(const Rule& rule);

    // The applications the Apps tab lists, by name: the installed ones the
    // built-in tables know and every one the user met, pinned or sorted,
    // without the file managers and without Tarvo itself.
    QStringList destinationApps();
    // The application's name, or its identifier when it is not installed.
    QString appName(const QString& bundleID) const;
    // The application's icon from the icon theme; null when it is not
    // installed or names no icon.
    QIcon appIcon(const QString& bundleID) const;
    AppCategory category(const QString& bundleID) const;
    bool isPinned(const QString& bundleID) const;
    void setCategory(AppCategory category, const QString& bundleID);
    void setPinned(bool pinned, const QString& bundleID);
    // Pins the application of the chosen ".desktop" file and returns its id;
    // nothing changes for a file that is not an installed application's.
    std::optional<QString> addApp(const QString& desktopFilePath);
    void removeApp(const QString& bundleID);
    QStringList seenApps() const;

    // Tarvo's own desktop-file id, never listed.
    static QString ownBundleID();

Q_SIGNALS:
    void selectedTabChanged();
    void revisionChanged();
    void versionChanged();
    void updateStatusChanged();
    void installedKnownAppsChanged();
    void hotkeyProblemChanged();
    void accessibilityAvailableChanged();
    void updateCheckRunningChanged();
    void callbacksChanged();
    // After every write of a pass-through preference or the hotkey.
    void preferencesWritten();
    // After every rule or application change made here.
    void rulesWritten();

private:
    QStringList installedKnownApps();
    void preferenceWritten(const std::function<void()>& permission);
    void rulesDidChange();
    void raiseRevision();

    Preferences& m_preferences;
    RulesStore& m_rulesStore;
    const ApplicationDirectory* m_applications;
    SettingsTab m_selectedTab = SettingsTab::general;
    qint64 m_revision = 0;
    QString m_version = QStringLiteral("1.0");
    std::optional<QString> m_updateStatus;
    std::optional<QString> m_hotkeyProblem;
    bool m_accessibilityAvailable = true;
    bool m_updateCheckRunning = false;
    std::function<void()> m_onRulesChanged;
    std::function<void()> m_onPreferencesChanged;
    std::function<void()> m_checkForUpdates;
    std::function<void()> m_requestAccessibilityPermission;
    std::function<void()> m_requestInputMonitoringPermission;
    std::optional<QStringList> m_installedKnownAppsCache;
};

} // namespace tarvo
