#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/HotkeyKeys.h"
#include "GeneralTab.h"
#include "SettingsModel.h"
#include "support/TempDir.h"

#include <QIcon>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using namespace tarvo;

namespace {

QByteArray desktopFile(const QString& name, const QString& icon = {}) {
    QByteArray text = "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=true\n";
    if (!icon.isEmpty())
        text += "Icon=" + icon.toUtf8() + "\n";
    return text;
}

class SettingsModelTest : public ::testing::Test {
protected:
    test::TempDir dir;
    UserDefaults defaults{dir.file("config/Tarvo.conf")};
    Preferences prefs{defaults};
    RulesStore rules{dir.file("rules")};
    std::unique_ptr<ApplicationDirectory> apps;
    std::unique_ptr<SettingsModel> model;
    QStringList calls;

    void SetUp() override { makeModel({}); }

    // Installs `files` (id to name) and makes the model over them.
    void makeModel(const QList<std::pair<QString, QString>>& files) {
        model.reset();
        for (const auto& [id, name] : files)
            dir.write(QStringLiteral("applications/%1.desktop").arg(id), desktopFile(name));
        apps = std::make_unique<ApplicationDirectory>(QStringList{dir.file("applications")});
        ASSERT_TRUE(apps->refreshAndWait());
        model = std::make_unique<SettingsModel>(prefs, rules, apps.get());
        model->setOnRulesChanged([this] { calls << QStringLiteral("rules"); });
        model->setOnPreferencesChanged([this] { calls << QStringLiteral("preferences"); });
        model->setRequestAccessibilityPermission([this] { calls << QStringLiteral("a11y"); });
        model->setRequestInputMonitoringPermission([this] { calls << QStringLiteral("hotkey"); });
    }
};

TEST(HotkeyFormatterTest, ModifiersInFixedOrderThenKeyName) {
    struct Case {
        HotkeySpec spec;
        const char* text;
    } cases[] = {
        {HotkeySpec::defaultSpec(), "Alt+Space"},
        {{0, HotkeySpec::command | HotkeySpec::shift | HotkeySpec::option | HotkeySpec::control},
         "Ctrl+Alt+Shift+Super+A"},
        {{122, HotkeySpec::command | HotkeySpec::shift}, "Ctrl+Shift+Key 122"},
        {{53, 0}, "Escape"},
        // Bits that are no modifier of ours are ignored.
        {{36, HotkeySpec::control | 0x1}, "Super+Return"},
        {{18, 0}, "Key 18"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HotkeyFormatter::describe(c.spec), QString::fromUtf8(c.text)) << c.text;
}

// One mapping from the key pressed while recording to what is stored, shown,
// drawn as keycaps and grabbed on the X server.
TEST(HotkeyFormatterTest, ARecordedCombinationIsTheOneShownAndGrabbed) {
    struct Case {
        const char* name;
        Qt::KeyboardModifiers pressed;
        quint64 stored;
        const char* shown;
        quint16 grabbed;
    };
    const Case cases[] = {
        {"Ctrl+Shift+K", Qt::ControlModifier | Qt::ShiftModifier,
         HotkeySpec::command | HotkeySpec::shift, "Ctrl+Shift+K", 0x04 | 0x01},
        {"Super+Shift+K", Qt::MetaModifier | Qt::ShiftModifier,
         HotkeySpec::control | HotkeySpec::shift, "Shift+Super+K", 0x40 | 0x01},
        {"Alt+K", Qt::AltModifier, HotkeySpec::option, "Alt+K", 0x08},
        {"all four", Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier,
         HotkeySpec::command | HotkeySpec::option | HotkeySpec::shift | HotkeySpec::control,
         "Ctrl+Alt+Shift+Super+K", 0x4d},
    };
    for (const Case& c : cases) {
        const std::optional<HotkeySpec> spec = HotkeyRecorder::specFor(Qt::Key_K, c.pressed);
        ASSERT_TRUE(spec) << c.name;
        EXPECT_EQ(spec->keyCode, 40) << c.name;
        EXPECT_EQ(spec->modifierFlags, c.stored) << c.name;
        EXPECT_EQ(HotkeyFormatter::describe(*spec), QLatin1String(c.shown)) << c.name;
        EXPECT_EQ(HotkeyKeys::text(*spec), QLatin1String(c.shown)) << c.name;
        EXPECT_EQ(HotkeyKeys::keycaps(*spec), QString::fromLatin1(c.shown).split(u'+')) << c.name;
        EXPECT_EQ(HotkeyKeys::xMask(spec->modifierFlags), c.grabbed) << c.name;
    }
}

TEST(HotkeyFormatterTest, NamesAllLettersAndFourKeys) {
    QSet<QString> names;
    for (int code = 0; code < 128; ++code) {
        const QString name = HotkeyFormatter::keyName(static_cast<quint16>(code));
        if (!name.startsWith(QLatin1String("Key ")))
            names.insert(name);
    }
    EXPECT_EQ(names.size(), 30);
    for (char c = 'A'; c <= 'Z'; ++c)
        EXPECT_TRUE(names.contains(QString(QLatin1Char(c)))) << c;
}

TEST_F(SettingsModelTest, HotkeyDescriptionFromStoredData) {
    EXPECT_EQ(model->hotkeyDescription(), QStringLiteral("Alt+Space"));
    defaults.setData(QStringLiteral("hotkey"), QByteArray("not json"));
    EXPECT_EQ(model->hotkeyDescription(), QStringLiteral("None"));
    model->setHotkey({0, HotkeySpec::command});
    EXPECT_EQ(model->hotkeyDescription(), QStringLiteral("Ctrl+A"));
    EXPECT_EQ(calls, QStringList{QStringLiteral("preferences")});
}

TEST_F(SettingsModelTest, PassThroughWritesStoreThenAskThenReport) {
    model->setPreference(Preferences::Key::hotkeyEnabled, true);
    model->setPreference(Preferences::Key::hotkeyEnabled, false);
    model->setPreference(Preferences::Key::editorPaneDetection, true);
    model->setPreference(Preferences::Key::editorPaneDetection, false);
    model->setPreference(Preferences::Key::playSoundOnDrop, true);
    model->setPreference(Preferences::Key::playSoundOnDrop, true);
    EXPECT_EQ(calls, (QStringList{"hotkey", "preferences", "preferences", "a11y", "preferences",
                                  "preferences", "preferences", "preferences"}));
    EXPECT_FALSE(prefs.hotkeyEnabled());
    EXPECT_TRUE(prefs.playSoundOnDrop());

    // Written through to the file: a fresh store reads the same.
    UserDefaults again(dir.file("config/Tarvo.conf"));
    Preferences reread(again);
    EXPECT_TRUE(reread.playSoundOnDrop());
    EXPECT_FALSE(reread.hotkeyEnabled());

    // The permission is asked at the moment of the write, with the value stored.
    bool storedWhenAsked = false;
    model->setRequestAccessibilityPermission(
        [&] { storedWhenAsked = prefs.editorPaneDetection(); });
    model->setPreference(Preferences::Key::editorPaneDetection, true);
    EXPECT_TRUE(storedWhenAsked);
}

TEST_F(SettingsModelTest, ObservedPropertiesNotifyOnlyOnChange) {
    QSignalSpy tab(model.get(), &SettingsModel::selectedTabChanged);
    QSignalSpy version(model.get(), &SettingsModel::versionChanged);
    QSignalSpy status(model.get(), &SettingsModel::updateStatusChanged);
    QSignalSpy callbacks(model.get(), &SettingsModel::callbacksChanged);

    model->setSelectedTab(SettingsTab::general);
    model->setSelectedTab(SettingsTab::rules);
    model->setSelectedTab(SettingsTab::rules);
    model->setVersion(QStringLiteral("1.0"));
    model->setVersion(QStringLiteral("1.2"));
    model->setUpdateStatus(std::nullopt);
    model->setUpdateStatus(QStringLiteral("Up to date"));
    model->setUpdateStatus(QStringLiteral("Up to date"));
    model->setUpdateStatus(std::nullopt);
    model->setOnRulesChanged({});
    model->setOnRulesChanged({});

    EXPECT_EQ(tab.count(), 1);
    EXPECT_EQ(version.count(), 1);
    EXPECT_EQ(status.count(), 2);
    EXPECT_EQ(callbacks.count(), 2);
    EXPECT_EQ(model->selectedTab(), SettingsTab::rules);
}

TEST_F(SettingsModelTest, RuleOperationsSaveAndReportWithoutRevision) {
    const size_t before = model->rules().size();
    model->addRule();
    model->addRule();
    ASSERT_EQ(model->rules().size(), before + 2);
    Rule a = model->rules()[before];
    const Rule b = model->rules()[before + 1];
    EXPECT_NE(a.id, b.id);
    EXPECT_EQ(a.sourceType, SourceType::images);
    EXPECT_EQ(a.destination, Destination::category(AppCategory::browser));
    ImageOptions options;
    options.maxPixels = 2000;
    EXPECT_EQ(a.deliver, Delivery::image(options));
    EXPECT_EQ(b.deliver, a.deliver);

    a.enabled = false;
    model->updateRule(a);
    model->removeRules({b.id});
    EXPECT_EQ(calls, QStringList(4, QStringLiteral("rules")));
    EXPECT_EQ(model->revision(), 0);

    rules.waitForWrites();
    RulesStore reread(dir.file("rules"));
    ASSERT_EQ(reread.rules().size(), before + 1);
    EXPECT_FALSE(reread.rules().back().enabled);
    EXPECT_EQ(reread.rules().back().id, a.id);
}

TEST_F(SettingsModelTest, DestinationAppsInstalledKnownAndListedSortedByName) {
    makeModel({{"firefox", "Firefox"},
               {"org.gnome.Nautilus", "Files"},
               {"com.tarvoapp.Tarvo", "Tarvo"},
               {"org.gnome.Terminal", "terminal"},
               {"my-tool", "Alpha Tool"},
               {"unknown-app", "Unknown"}});
    rules.noteSeen(QStringLiteral("my-tool"));
    rules.pinApp(QStringLiteral("gone.app"));
    rules.pinApp(QStringLiteral("com.tarvoapp.Tarvo"));
    rules.setCategory(AppCategory::browser, QStringLiteral("org.gnome.Nautilus"));

    // Sorted case-insensitively by name; an uninstalled one by its id.
    EXPECT_EQ(model->destinationApps(),
              (QStringList{"my-tool", "firefox", "gone.app", "org.gnome.Terminal"}));
    EXPECT_EQ(model->appName(QStringLiteral("gone.app")), QStringLiteral("gone.app"));
    // Without an icon of its own, the theme's icon for programs.
    const QString theme = QIcon::themeName();
    const QStringList themePaths = QIcon::themeSearchPaths();
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("Adwaita"));
    EXPECT_FALSE(model->appIcon(QStringLiteral("gone.app")).isNull());
    EXPECT_FALSE(model->appIcon(QStringLiteral("my-tool")).isNull());
    QIcon::setThemeName(theme);
    QIcon::setThemeSearchPaths(themePaths);
    EXPECT_EQ(model->category(QStringLiteral("firefox")), AppCategory::browser);
    EXPECT_EQ(model->category(QStringLiteral("org.gnome.Nautilus")), AppCategory::browser);
}

TEST_F(SettingsModelTest, InstalledKnownAppsWorkedOutOnce) {
    makeModel({{"firefox", "Firefox"}});
    EXPECT_EQ(model->destinationApps(), QStringList{"firefox"});
    dir.write(QStringLiteral("applications/org.gnome.Terminal.desktop"), desktopFile("Terminal"));
    ASSERT_TRUE(apps->refreshAndWait());
    EXPECT_EQ(model->destinationApps(), QStringList{"firefox"});
}

TEST_F(SettingsModelTest, PinningRaisesRevisionCategoryDoesNot) {
    makeModel({{"my-tool", "Tool"}});
    QSignalSpy revision(model.get(), &SettingsModel::revisionChanged);

    model->setCategory(AppCategory::design, QStringLiteral("my-tool"));
    EXPECT_EQ(model->revision(), 0);
    model->setPinned(true, QStringLiteral("my-tool"));
    model->setPinned(true, QStringLiteral("my-tool"));
    EXPECT_EQ(model->revision(), 2);
    EXPECT_TRUE(model->isPinned(QStringLiteral("my-tool")));
    model->setPinned(false, QStringLiteral("my-tool"));
    EXPECT_FALSE(model->isPinned(QStringLiteral("my-tool")));
    EXPECT_EQ(revision.count(), 3);
    EXPECT_EQ(calls, QStringList(4, QStringLiteral("rules")));

    rules.waitForWrites();
    RulesStore reread(dir.file("rules"));
    EXPECT_EQ(reread.categories().category(QStringLiteral("my-tool")), AppCategory::design);
    EXPECT_FALSE(reread.categories().isPinned(QStringLiteral("my-tool")));
}

TEST_F(SettingsModelTest, AddAppPinsOnlyAnInstalledApplication) {
    makeModel({{"my-tool", "Tool"}});
    EXPECT_EQ(model->addApp(QString()), std::nullopt);
    EXPECT_EQ(model->addApp(dir.write("elsewhere/other.desktop", desktopFile("Other"))),
              std::nullopt);
    EXPECT_EQ(model->revision(), 0);
    EXPECT_TRUE(calls.isEmpty());

    const QString path = dir.file("applications/my-tool.desktop");
    EXPECT_EQ(model->addApp(path), QStringLiteral("my-tool"));
    EXPECT_EQ(model->addApp(path), QStringLiteral("my-tool"));
    EXPECT_EQ(model->revision(), 2);
    EXPECT_EQ(calls, QStringList(2, QStringLiteral("rules")));
    rules.waitForWrites();
    EXPECT_TRUE(RulesStore(dir.file("rules")).categories().isPinned(QStringLiteral("my-tool")));
}

} // namespace
