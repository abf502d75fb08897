#include "TarvoCore/Preferences.h"
#include "TarvoCore/UserDefaults.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

using namespace tarvo;
using Key = Preferences::Key;

namespace tarvo {
inline void PrintTo(const HotkeySpec& s, std::ostream* os) {
    *os << "{keyCode " << s.keyCode << ", flags 0x" << std::hex << s.modifierFlags << std::dec
        << "}";
}
} // namespace tarvo

namespace {

class PreferencesTest : public ::testing::Test {
protected:
    test::TempDir dir;
    QString settingsPath = dir.file("config/Tarvo/Tarvo.conf");
    UserDefaults defaults{settingsPath};
    Preferences prefs{defaults};

    QByteArray fileText() {
        defaults.waitForWrites();
        QFile f(settingsPath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

struct BooleanCase {
    Key key;
    const char* name;
    bool registered;
    bool (Preferences::*get)() const;
    void (Preferences::*set)(bool);
};

const std::vector<BooleanCase>& booleanCases() {
    static const std::vector<BooleanCase> cases = {
        {Key::showTarvoWhenDragging, "showTarvoWhenDragging", true,
         &Preferences::showTarvoWhenDragging, &Preferences::setShowTarvoWhenDragging},
        {Key::requireShiftToShow, "requireShiftToShow", false, &Preferences::requireShiftToShow,
         &Preferences::setRequireShiftToShow},
        {Key::shakeToSummon, "shakeToSummon", false, &Preferences::shakeToSummon,
         &Preferences::setShakeToSummon},
        {Key::openShelfOnNotchHover, "openShelfOnNotchHover", false,
         &Preferences::openShelfOnNotchHover, &Preferences::setOpenShelfOnNotchHover},
        {Key::showMenuBarIcon, "showMenuBarIcon", true, &Preferences::showMenuBarIcon,
         &Preferences::setShowMenuBarIcon},
        {Key::playSoundOnDrop, "playSoundOnDrop", false, &Preferences::playSoundOnDrop,
         &Preferences::setPlaySoundOnDrop},
        {Key::launchAtLogin, "launchAtLogin", false, &Preferences::launchAtLogin,
         &Preferences::setLaunchAtLogin},
        {Key::confirmBatch, "confirmBatch", true, &Preferences::confirmBatch,
         &Preferences::setConfirmBatch},
        {Key::keepImageMetadata, "keepImageMetadata", false, &Preferences::keepImageMetadata,
         &Preferences::setKeepImageMetadata},
        {Key::editorPaneDetection, "editorPaneDetection", false, &Preferences::editorPaneDetection,
         &Preferences::setEditorPaneDetection},
        {Key::hotkeyEnabled, "hotkeyEnabled", true, &Preferences::hotkeyEnabled,
         &Preferences::setHotkeyEnabled},
        {Key::hasCompletedOnboarding, "hasCompletedOnboarding", false,
         &Preferences::hasCompletedOnboarding, &Preferences::setHasCompletedOnboarding},
    };
    return cases;
}

struct CounterCase {
    const char* name;
    qint64 (Preferences::*get)() const;
    void (Preferences::*count)();
};

const std::vector<CounterCase>& counterCases() {
    static const std::vector<CounterCase> cases = {
        {"dropCount", &Preferences::dropCount, &Preferences::countDrop},
        {"conversionCount", &Preferences::conversionCount, &Preferences::countConversion},
        {"undoCount", &Preferences::undoCount, &Preferences::countUndo},
    };
    return cases;
}

} // namespace

TEST(PreferenceKeys, NamesAreTheStoredKeyTextsInDeclarationOrder) {
    const QStringList expected = {"showTarvoWhenDragging",
                                  "requireShiftToShow",
                                  "shakeToSummon",
                                  "openShelfOnNotchHover",
                                  "showMenuBarIcon",
                                  "playSoundOnDrop",
                                  "launchAtLogin",
                                  "confirmBatch",
                                  "keepImageMetadata",
                                  "editorPaneDetection",
                                  "hotkey",
                                  "hotkeyEnabled",
                                  "dropCount",
                                  "conversionCount",
                                  "undoCount",
                                  "hasCompletedOnboarding",
                                  "lastUpdateCheck"};
    QStringList names;
    for (const Preferences::Definition& d : Preferences::definitions()) {
        names.append(Preferences::name(d.key));
        EXPECT_EQ(Preferences::key(Preferences::name(d.key)), d.key) << d.name;
    }
    EXPECT_EQ(names, expected);

    for (const char* text : {"", "nope", "ShowMenuBarIcon", "showMenuBarIcon "}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Preferences::key(QString::fromUtf8(text)), std::nullopt);
    }
}

TEST(PreferenceKeys, EachKeyHasOneTypedDefinition) {
    for (const BooleanCase& c : booleanCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Preferences::definition(c.key).type, Preferences::Type::boolean);
        EXPECT_EQ(Preferences::definition(c.key).registeredValue, c.registered);
    }
    EXPECT_EQ(Preferences::definition(Key::hotkey).type, Preferences::Type::hotkey);
    EXPECT_EQ(Preferences::definition(Key::lastUpdateCheck).type, Preferences::Type::date);
    for (Key k : {Key::dropCount, Key::conversionCount, Key::undoCount})
        EXPECT_EQ(Preferences::definition(k).type, Preferences::Type::integer);
}

TEST_F(PreferencesTest, FreshStoreReadsTheDefaultsAndWritesNothing) {
    for (const BooleanCase& c : booleanCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ((prefs.*c.get)(), c.registered);
    }
    for (const CounterCase& c : counterCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ((prefs.*c.get)(), 0);
    }
    EXPECT_EQ(prefs.hotkey(), (HotkeySpec{49, 0x80000}));
    EXPECT_EQ(prefs.lastUpdateCheck(), std::nullopt);

    // Registered values stay in memory: the user's settings hold nothing.
    EXPECT_TRUE(defaults.storedKeys().isEmpty());
    EXPECT_FALSE(QFile::exists(settingsPath));
}

TEST_F(PreferencesTest, StoredBooleanWinsUntilRemoved) {
    for (const BooleanCase& c : booleanCases()) {
        SCOPED_TRACE(c.name);
        (prefs.*c.set)(!c.registered);
        EXPECT_EQ((prefs.*c.get)(), !c.registered);
        EXPECT_TRUE(defaults.hasStoredValue(c.name));

        // Storing the registered value itself is still a stored value.
        (prefs.*c.set)(c.registered);
        EXPECT_EQ((prefs.*c.get)(), c.registered);
        EXPECT_TRUE(defaults.hasStoredValue(c.name));

        (prefs.*c.set)(!c.registered);
        defaults.remove(c.name);
        EXPECT_EQ((prefs.*c.get)(), c.registered);
    }
    EXPECT_TRUE(defaults.storedKeys().isEmpty());
}

TEST_F(PreferencesTest, WritesReachTheFileAndEveryHolderOfTheStore) {
    prefs.setShowMenuBarIcon(false);
    prefs.setDropCount(41);
    prefs.setHotkey(HotkeySpec{12, HotkeySpec::command | HotkeySpec::shift});

    const QByteArray text = fileText();
    EXPECT_TRUE(text.contains("showMenuBarIcon=false")) << text.constData();
    EXPECT_TRUE(text.contains("dropCount=41")) << text.constData();
    EXPECT_FALSE(text.contains("showTarvoWhenDragging")) << text.constData();

    const Preferences other(defaults);
    EXPECT_FALSE(other.showMenuBarIcon());
    EXPECT_EQ(other.dropCount(), 41);

    UserDefaults sameFile(settingsPath);
    const Preferences third(sameFile);
    EXPECT_FALSE(third.showMenuBarIcon());
    EXPECT_EQ(third.hotkey(), (HotkeySpec{12, 0x120000}));
    sameFile.setInteger("dropCount", 42);
    EXPECT_EQ(prefs.dropCount(), 42);
}

// What a previous run left behind comes back as texts, not typed values.
TEST(PreferencesFromFile, ReadsWhatAnEarlierRunWrote) {
    const test::TempDir dir;
    const QString path = dir.write("Tarvo.conf", "[General]\n"
                                                 "showTarvoWhenDragging=false\n"
                                                 "requireShiftToShow=true\n"
                                                 "shakeToSummon=maybe\n"
                                                 "dropCount=7\n"
                                                 "undoCount=-3\n"
                                                 "conversionCount=lots\n"
                                                 "hotkey=\"@ByteArray({\\\"keyCode\\\":0,"
                                                 "\\\"modifierFlags\\\":1048576})\"\n"
                                                 "lastUpdateCheck=2024-05-01T10:00:00Z\n");
    UserDefaults defaults(path);
    Preferences prefs(defaults);
    EXPECT_FALSE(prefs.showTarvoWhenDragging());
    EXPECT_TRUE(prefs.requireShiftToShow());
    EXPECT_FALSE(prefs.shakeToSummon());
    EXPECT_TRUE(prefs.confirmBatch());
    EXPECT_EQ(prefs.dropCount(), 7);
    EXPECT_EQ(prefs.undoCount(), -3);
    EXPECT_EQ(prefs.conversionCount(), 0);
    EXPECT_EQ(prefs.hotkey(), (HotkeySpec{0, HotkeySpec::command}));
    EXPECT_EQ(prefs.lastUpdateCheck(), std::nullopt);
}

TEST_F(PreferencesTest, ValuesOfTheWrongKindFollowTheStoreConversions) {
    struct Case {
        const char* stored;
        bool asBoolean;
        qint64 asInteger;
    };
    const std::vector<Case> cases = {
        {"true", true, 1},
        {"YES", true, 1},
        {"false", false, 0},
        {"no", false, 0},
        {"hello", false, 0},
        {"", false, 0},
        {"0", false, 0},
        {"2", true, 2},
        {" 12 ", true, 12},
        {"-5", true, -5},
        {"3.9", true, 3},
        {"-3.9", true, -3},
        {"9223372036854775807", true, std::numeric_limits<qint64>::max()},
        {"-9223372036854775808", true, std::numeric_limits<qint64>::min()},
        {"99999999999999999999", true, 0},
        {"nan", false, 0},
        {"inf", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        defaults.setString("confirmBatch", QString::fromUtf8(c.stored));
        defaults.setString("dropCount", QString::fromUtf8(c.stored));
        EXPECT_EQ(prefs.confirmBatch(), c.asBoolean);
        EXPECT_EQ(prefs.dropCount(), c.asInteger);
    }

    defaults.setData("confirmBatch", "true");
    defaults.setData("dropCount", "5");
    EXPECT_FALSE(prefs.confirmBatch());
    EXPECT_EQ(prefs.dropCount(), 0);

    defaults.setInteger("confirmBatch", 0);
    defaults.setBoolean("dropCount", true);
    EXPECT_FALSE(prefs.confirmBatch());
    EXPECT_EQ(prefs.dropCount(), 1);
}

TEST_F(PreferencesTest, CountersCountIndependently) {
    const auto& cases = counterCases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const CounterCase& c = cases[i];
        SCOPED_TRACE(c.name);
        (prefs.*c.count)();
        EXPECT_EQ((prefs.*c.get)(), 1);
        (prefs.*c.count)();
        (prefs.*c.count)();
        EXPECT_EQ((prefs.*c.get)(), 3);
        EXPECT_EQ(defaults.integer(c.name), 3);
        // The counters not yet counted are untouched.
        for (std::size_t j = i + 1; j < cases.size(); ++j)
            EXPECT_EQ((prefs.*cases[j].get)(), 0) << cases[j].name;
    }
    EXPECT_TRUE(fileText().contains("undoCount=3"));
}

TEST_F(PreferencesTest, CounterAtTheLargestCountStaysThere) {
    const qint64 max = std::numeric_limits<qint64>::max();
    prefs.setDropCount(max - 1);
    prefs.countDrop();
    EXPECT_EQ(prefs.dropCount(), max);
    prefs.countDrop();
    EXPECT_EQ(prefs.dropCount(), max);
}

TEST_F(PreferencesTest, HotkeyFromWhatIsStored) {
    enum class Stored { nothing, text, integer, data };
    struct Case {
        const char* name;
        Stored kind;
        QByteArray bytes;
        std::optional<HotkeySpec> expected;
    };
    const HotkeySpec optionSpace{49, 0x80000};
    const std::vector<Case> cases = {
        {"nothing stored", Stored::nothing, {}, optionSpace},
        {"a text, not data", Stored::text, R"({"keyCode":1,"modifierFlags":0})", optionSpace},
        {"an integer, not data", Stored::integer, "7", optionSpace},
        {"data that is not JSON", Stored::data, "not json", std::nullopt},
        {"empty data", Stored::data, "", std::nullopt},
        {"only keyCode", Stored::data, R"({"keyCode":49})", std::nullopt},
        {"only modifierFlags", Stored::data, R"({"modifierFlags":524288})", std::nullopt},
        {"key code 65536", Stored::data, R"({"keyCode":65536,"modifierFlags":0})", std::nullopt},
        {"key code 65535", Stored::data, R"({"keyCode":65535,"modifierFlags":0})",
         HotkeySpec{65535, 0}},
        {"negative key code", Stored::data, R"({"keyCode":-1,"modifierFlags":0})", std::nullopt},
        {"fractional key code", Stored::data, R"({"keyCode":49.5,"modifierFlags":0})",
         std::nullopt},
        {"key code as text", Stored::data, R"({"keyCode":"49","modifierFlags":0})", std::nullopt},
        {"null key code", Stored::data, R"({"keyCode":null,"modifierFlags":0})", std::nullopt},
        {"negative flags", Stored::data, R"({"keyCode":49,"modifierFlags":-1})", std::nullopt},
        {"flags past 64 bits", Stored::data,
         R"({"keyCode":49,"modifierFlags":18446744073709551616})", std::nullopt},
        {"an array", Stored::data, R"([49,524288])", std::nullopt},
        {"any order, spaces, extra members", Stored::data,
         " { \"extra\" : true ,\n \"modifierFlags\" : 1179648 , \"keyCode\" : 12 } ",
         HotkeySpec{12, 0x120000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults.remove("hotkey");
        switch (c.kind) {
        case Stored::nothing:
            break;
        case Stored::text:
            defaults.setString("hotkey", QString::fromUtf8(c.bytes));
            break;
        case Stored::integer:
            defaults.setInteger("hotkey", c.bytes.toLongLong());
            break;
        case Stored::data:
            defaults.setData("hotkey", c.bytes);
            break;
        }
        EXPECT_EQ(prefs.hotkey(), c.expected);
    }
}

TEST_F(PreferencesTest, HotkeyWrittenReadsBackAndNoneMeansTheDefault) {
    const HotkeySpec ctrlShiftK{40, HotkeySpec::control | HotkeySpec::shift};
    prefs.setHotkey(ctrlShiftK);
    EXPECT_EQ(prefs.hotkey(), ctrlShiftK);
    EXPECT_EQ(defaults.data("hotkey"), QByteArray(R"({"keyCode":40,"modifierFlags":393216})"));

    const HotkeySpec wide{65535, 0xFFFFFFFFull};
    prefs.setHotkey(wide);
    EXPECT_EQ(prefs.hotkey(), wide);

    prefs.setHotkey(std::nullopt);
    EXPECT_FALSE(defaults.hasStoredValue("hotkey"));
    EXPECT_EQ(prefs.hotkey(), HotkeySpec::defaultSpec());
    EXPECT_EQ(HotkeySpec::defaultSpec(), (HotkeySpec{49, 0x80000}));
}

TEST_F(PreferencesTest, LastUpdateCheckIsADateValueOrAbsent) {
    defaults.setString("lastUpdateCheck", "2024-05-01T10:00:00Z");
    EXPECT_EQ(prefs.lastUpdateCheck(), std::nullopt);
    defaults.setInteger("lastUpdateCheck", 1700000000);
    EXPECT_EQ(prefs.lastUpdateCheck(), std::nullopt);
    defaults.setData("lastUpdateCheck", "1700000000");
    EXPECT_EQ(prefs.lastUpdateCheck(), std::nullopt);

    const Date checked = Date::fromSecondsSince1970(1700000000.125);
    prefs.setLastUpdateCheck(checked);
    EXPECT_EQ(prefs.lastUpdateCheck(), checked);
    EXPECT_TRUE(fileText().contains("lastUpdateCheck=@DateTime(")) << fileText().constData();

    // Kept to the millisecond.
    prefs.setLastUpdateCheck(Date::fromSecondsSince1970(1700000000.0004));
    EXPECT_EQ(prefs.lastUpdateCheck(), Date::fromSecondsSince1970(1700000000.0));

    prefs.setLastUpdateCheck(std::nullopt);
    EXPECT_FALSE(defaults.hasStoredValue("lastUpdateCheck"));
    EXPECT_EQ(prefs.lastUpdateCheck(), std::nullopt);

    prefs.setLastUpdateCheck(Date::fromSecondsSince1970(std::nan("")));
    EXPECT_FALSE(defaults.hasStoredValue("lastUpdateCheck"));
}
