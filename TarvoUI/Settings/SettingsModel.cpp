#include "SettingsModel.h"

#include "TarvoCore/AppCategoryMap.h"
#include "TarvoCore/Date.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/HotkeyKeys.h"

#include <QCollator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <utility>

namespace tarvo {

namespace HotkeyFormatter {

QString describe(const HotkeySpec& spec) {
    QStringList parts = HotkeyKeys::modifierNames(spec.modifierFlags);
    parts << keyName(spec.keyCode);
    return parts.join(u'+');
}

QString keyName(quint16 keyCode) {
    static const QHash<quint16, QString> names = {
        {0, QStringLiteral("A")},       {11, QStringLiteral("B")},   {8, QStringLiteral("C")},
        {2, QStringLiteral("D")},       {14, QStringLiteral("E")},   {3, QStringLiteral("F")},
        {5, QStringLiteral("G")},       {4, QStringLiteral("H")},    {34, QStringLiteral("I")},
        {38, QStringLiteral("J")},      {40, QStringLiteral("K")},   {37, QStringLiteral("L")},
        {46, QStringLiteral("M")},      {45, QStringLiteral("N")},   {31, QStringLiteral("O")},
        {35, QStringLiteral("P")},      {12, QStringLiteral("Q")},   {15, QStringLiteral("R")},
        {1, QStringLiteral("S")},       {17, QStringLiteral("T")},   {32, QStringLiteral("U")},
        {9, QStringLiteral("V")},       {13, QStringLiteral("W")},   {7, QStringLiteral("X")},
        {16, QStringLiteral("Y")},      {6, QStringLiteral("Z")},    {49, QStringLiteral("Space")},
        {36, QStringLiteral("Return")}, {48, QStringLiteral("Tab")}, {53, QStringLiteral("Escape")},
    };
    const auto it = names.constFind(keyCode);
    return it != names.constEnd() ? *it : QStringLiteral("Key %1").arg(keyCode);
}

} // namespace HotkeyFormatter

SettingsModel::SettingsModel(Preferences& preferences, RulesStore& rulesStore,
                             const ApplicationDirectory* applications, QObject* parent)
    : QObject(parent), m_preferences(preferences), m_rulesStore(rulesStore),
      m_applications(applications) {}

void SettingsModel::setSelectedTab(SettingsTab tab) {
    if (tab == m_selectedTab)
        return;
    m_selectedTab = tab;
    Q_EMIT selectedTabChanged();
}

void SettingsModel::setVersion(const QString& version) {
    if (version == m_version)
        return;
    m_version = version;
    Q_EMIT versionChanged();
}

void SettingsModel::setUpdateStatus(const std::optional<QString>& status) {
    if (status == m_updateStatus)
        return;
    m_updateStatus = status;
    Q_EMIT updateStatusChanged();
}

void SettingsModel::setHotkeyProblem(const std::optional<QString>& problem) {
    if (problem == m_hotkeyProblem)
        return;
    m_hotkeyProblem = problem;
    Q_EMIT hotkeyProblemChanged();
}

void SettingsModel::setAccessibilityAvailable(bool available) {
    if (available == m_accessibilityAvailable)
        return;
    m_accessibilityAvailable = available;
    Q_EMIT accessibilityAvailableChanged();
}

void SettingsModel::setUpdateCheckRunning(bool running) {
    if (running == m_updateCheckRunning)
        return;
    m_updateCheckRunning = running;
    Q_EMIT updateCheckRunningChanged();
}

void SettingsModel::requestUpdateCheck() {
    // A second press while the first check is out would only race it.
    if (m_updateCheckRunning || !m_checkForUpdates)
        return;
    m_checkForUpdates();
}

void SettingsModel::setOnRulesChanged(std::function<void()> callback) {
    m_onRulesChanged = std::move(callback);
    Q_EMIT callbacksChanged();
}

void SettingsModel::setOnPreferencesChanged(std::function<void()> callback) {
    m_onPreferencesChanged = std::move(callback);
    Q_EMIT callbacksChanged();
}

void SettingsModel::setCheckForUpdates(std::function<void()> callback) {
    m_checkForUpdates = std::move(callback);
    Q_EMIT callbacksChanged();
}

void SettingsModel::setRequestAccessibilityPermission(std::function<void()> callback) {
    m_requestAccessibilityPermission = std::move(callback);
    Q_EMIT callbacksChanged();
}

void SettingsModel::setRequestInputMonitoringPermission(std::function<void()> callback) {
    m_requestInputMonitoringPermission = std::move(callback);
    Q_EMIT callbacksChanged();
}

void SettingsModel::preferenceWritten(const std::function<void()>& permission) {
    if (permission)
        permission();
    if (m_onPreferencesChanged)
        m_onPreferencesChanged();
    Q_EMIT preferencesWritten();
}

bool SettingsModel::preference(Preferences::Key key) const {
    return m_preferences.boolean(key);
}

void SettingsModel::setPreference(Preferences::Key key, bool on) {
    m_preferences.setBoolean(key, on);
    std::function<void()> permission;
    if (on && key == Preferences::Key::editorPaneDetection)
        permission = m_requestAccessibilityPermission;
    else if (on && key == Preferences::Key::hotkeyEnabled)
        permission = m_requestInputMonitoringPermission;
    preferenceWritten(permission);
}

QString SettingsModel::hotkeyDescription() const {
    const std::optional<HotkeySpec> spec = m_preferences.hotkey();
    return spec ? HotkeyFormatter::describe(*spec) : L10n::generalHotkeyNone();
}

void SettingsModel::setHotkey(const HotkeySpec& spec) {
    m_preferences.setHotkey(spec);
    preferenceWritten({});
}

const std::vector<Rule>& SettingsModel::rules() const {
    return m_rulesStore.rules();
}

void SettingsModel::rulesDidChange() {
    if (m_onRulesChanged)
        m_onRulesChanged();
    Q_EMIT rulesWritten();
}

void SettingsModel::raiseRevision() {
    ++m_revision;
    Q_EMIT revisionChanged();
}

Rule SettingsModel::newRule() {
    Rule rule;
    rule.id = QUuid::createUuid();
    rule.sourceType = SourceType::images;
    rule.destination = Destination::category(AppCategory::browser);
    ImageOptions options;
    options.format = ImageFormat::jpeg;
    options.maxPixels = 2000;
    options.quality = 0.85;
    options.stripLocation = true;
    rule.deliver = Delivery::image(options);
    rule.enabled = true;
    rule.createdAt = Date::now();
    return rule;
}

void SettingsModel::addRule() {
    m_rulesStore.add(newRule());
    rulesDidChange();
}

void SettingsModel::removeRules(const QSet<QUuid>& ids) {
    m_rulesStore.remove(ids);
    rulesDidChange();
}

bool SettingsModel::updateRule(const Rule& rule) {
    std::vector<Rule>& rules = m_rulesStore.rules();
    const auto it =
        std::find_if(rules.begin(), rules.end(), [&](const Rule& r) { return r.id == rule.id; });
    if (it == rules.end())
        return true;
    const Rule stored = *it;
    if (!m_rulesStore.update(rule)) {
        // What is not in the file is not in force either: the stored rule
        // stays, and the editor keeps the user's edits for another try.
        const auto again = std::find_if(rules.begin(), rules.end(),
                                        [&](const Rule& r) { return r.id == rule.id; });
        if (again != rules.end())
            *again = stored;
        return false;
    }
    rulesDidChange();
    return true;
}

QString SettingsModel::ownBundleID() {
    return QStringLiteral("com.tarvoapp.Tarvo");
}

QStringList SettingsModel::installedKnownApps() {
    if (m_installedKnownAppsCache)
        return *m_installedKnownAppsCache;
    QStringList installed;
    if (m_applications) {
        for (const QString& id : AppCategoryMap::builtInBundleIDs()) {
            if (m_applications->entry(id))
                installed.append(id);
        }
    }
    m_installedKnownAppsCache = installed;
    Q_EMIT installedKnownAppsChanged();
    return installed;
}

QStringList SettingsModel::destinationApps() {
    QStringList ids = installedKnownApps();
    QSet<QString> present(ids.begin(), ids.end());
    for (const QString& id : m_rulesStore.categories().listedBundleIDs()) {
        if (!present.contains(id)) {
            present.insert(id);
            ids.append(id);
        }
    }
    ids.removeIf(
        [](const QString& id) { return id == ownBundleID() || AppCategoryMap::isFileManager(id); });
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QStringList names;
    names.reserve(ids.size());
    for (const QString& id : ids)
        names.append(appName(id));
    std::vector<qsizetype> order(static_cast<size_t>(ids.size()));
    for (qsizetype i = 0; i < ids.size(); ++i)
        order[static_cast<size_t>(i)] = i;
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return collator.compare(names[a], names[b]) < 0;
    });
    QStringList sorted;
    sorted.reserve(ids.size());
    for (const qsizetype i : order)
        sorted.append(ids[i]);
    return sorted;
}

QString SettingsModel::appName(const QString& bundleID) const {
    if (m_applications) {
        if (const std::optional<QString> name = m_applications->name(bundleID);
            name && !name->isEmpty())
            return *name;
    }
    return bundleID;
}

namespace {

// The "Icon" entry of a desktop file's main group.
QString iconNameOf(const QString& desktopFile) {
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(64 * 1024)).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            if (inMainGroup)
                break;
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (inMainGroup && line.startsWith(QLatin1String("Icon"))) {
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals > 0 && line.left(equals).trimmed() == QLatin1String("Icon"))
                return line.mid(equals + 1).trimmed();
        }
    }
    return {};
}

} // namespace

QIcon SettingsModel::appIcon(const QString& bundleID) const {
    // An application whose own icon cannot be found (XTerm names a picture
    // outside the icon theme) shows the theme's icon for programs.
    const QIcon fallback = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (!m_applications)
        return fallback;
    const std::optional<QString> path = m_applications->path(bundleID);
    const QString name = path ? iconNameOf(*path) : QString();
    QIcon icon;
    if (name.isEmpty())
        icon = QIcon();
    else if (QFileInfo(name).isAbsolute())
        icon = QFileInfo::exists(name) ? QIcon(name) : QIcon();
    else
        icon = QIcon::fromTheme(name);
    return icon.isNull() ? fallback : icon;
}

AppCategory SettingsModel::category(const QString& bundleID) const {
    return m_rulesStore.categories().category(bundleID);
}

bool SettingsModel::isPinned(const QString& bundleID) const {
    return m_rulesStore.categories().isPinned(bundleID);
}

void SettingsModel::setCategory(AppCategory category, const QString& bundleID) {
    m_rulesStore.setCategory(category, bundleID);
    rulesDidChange();
}

void SettingsModel::setPinned(bool pinned, const QString& bundleID) {
    if (pinned) {
        m_rulesStore.categories().pin(bundleID);
        m_rulesStore.save();
    } else {
        m_rulesStore.unpinApp(bundleID);
    }
    raiseRevision();
    rulesDidChange();
}

std::optional<QString> SettingsModel::addApp(const QString& desktopFilePath) {
    if (!m_applications || desktopFilePath.isEmpty())
        return std::nullopt;
    const QString wanted = QFileInfo(desktopFilePath).canonicalFilePath();
    if (wanted.isEmpty())
        return std::nullopt;
    for (const ApplicationDirectory::Entry& entry : m_applications->entries()) {
        if (QFileInfo(entry.path).canonicalFilePath() != wanted)
            continue;
        m_rulesStore.categories().pin(entry.id);
        m_rulesStore.save();
        raiseRevision();
        rulesDidChange();
        return entry.id;
    }
    return std::nullopt;
}

void SettingsModel::removeApp(const QString& bundleID) {
    m_rulesStore.forgetApp(bundleID);
    raiseRevision();
    rulesDidChange();
}

QStringList SettingsModel::seenApps() const {
    return m_rulesStore.categories().listedBundleIDs();
}

} // namespace tarvo
