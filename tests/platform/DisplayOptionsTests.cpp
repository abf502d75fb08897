#include "TarvoPlatform/memory/MemoryDisplayOptions.h"
#include "TarvoPlatform/x11/X11DisplayOptions.h"
#include "TarvoPlatform/x11/XSettings.h"

#include <gtest/gtest.h>

using namespace tarvo;

TEST(XSettings, ReadsWhatAManagerWrites) {
    QHash<QByteArray, XSettings::Value> settings;
    settings.insert("Net/EnableAnimations", qint32{0});
    settings.insert("Net/ThemeName", QByteArray("HighContrast"));
    settings.insert("Gtk/CursorThemeName", QByteArray("Adwaita"));
    settings.insert("Gtk/Color", XSettings::Color{1, 2, 3, 4});
    const auto parsed = XSettings::parse(XSettings::serialize(settings));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, settings);
}

TEST(XSettings, RefusesDataCutShortOrMalformed) {
    QHash<QByteArray, XSettings::Value> settings;
    settings.insert("Net/ThemeName", QByteArray("Greybird"));
    const QByteArray whole = XSettings::serialize(settings);
    for (qsizetype cut = 0; cut < whole.size(); ++cut)
        EXPECT_FALSE(XSettings::parse(whole.left(cut)).has_value()) << cut;
    QByteArray badOrder = whole;
    badOrder[0] = 7;
    EXPECT_FALSE(XSettings::parse(badOrder).has_value());
    QByteArray hugeString = whole;
    // The string's length field, after the 12-byte header, the 4-byte entry
    // head, the padded 16-byte name and the 4-byte serial.
    hugeString[36] = '\xff';
    hugeString[37] = '\xff';
    EXPECT_FALSE(XSettings::parse(hugeString).has_value());
}

TEST(XSettings, ReadsBigEndianData) {
    // One integer setting "A" = 1, written by a big-endian manager.
    const QByteArray data = QByteArray::fromHex("01000000"
                                                "00000001"
                                                "00000001"
                                                "00000001"
                                                "41000000"
                                                "00000000"
                                                "00000001");
    const auto parsed = XSettings::parse(data);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->value("A"), XSettings::Value(qint32{1}));
}

TEST(DisplayOptions, DesktopSourcesDecide) {
    using Sources = X11DisplayOptions::Sources;
    QHash<QByteArray, XSettings::Value> still;
    still.insert("Net/EnableAnimations", qint32{0});
    QHash<QByteArray, XSettings::Value> moving;
    moving.insert("Net/EnableAnimations", qint32{1});
    moving.insert("Net/ThemeName", QByteArray("Adwaita-dark"));
    QHash<QByteArray, XSettings::Value> contrast;
    contrast.insert("Net/ThemeName", QByteArray("HighContrastInverse"));

    struct Case {
        const char* name;
        Sources sources;
        bool reduceMotion;
        bool increaseContrast;
    };
    const Case cases[] = {
        {"nothing known", {}, false, false},
        {"animations off in XSETTINGS", {still, {}, {}, {}}, true, false},
        {"animations on", {moving, true, false, QByteArray("Adwaita")}, false, false},
        {"GNOME turns animations off", {moving, false, {}, {}}, true, false},
        {"high-contrast theme in XSETTINGS", {contrast, {}, {}, {}}, false, true},
        {"GNOME high contrast", {{}, {}, true, {}}, false, true},
        {"GNOME high-contrast theme", {{}, {}, false, QByteArray("HighContrast")}, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(X11DisplayOptions::reduceMotion(c.sources), c.reduceMotion) << c.name;
        EXPECT_EQ(X11DisplayOptions::increaseContrast(c.sources), c.increaseContrast) << c.name;
    }
    for (const char* theme :
         {"HighContrast", "Adwaita-highcontrast", "high-contrast", "High Contrast"})
        EXPECT_TRUE(X11DisplayOptions::isHighContrastTheme(theme)) << theme;
    for (const char* theme : {"Adwaita", "Greybird-dark", "Contrast"})
        EXPECT_FALSE(X11DisplayOptions::isHighContrastTheme(theme)) << theme;
}

TEST(DisplayOptions, WithoutADisplayTheGnomeSettingsAnswerOrNothing) {
    // GSettings in memory, so nothing of the user's is read or written.
    qputenv("GSETTINGS_BACKEND", "memory");
    X11DisplayOptions options(nullptr);
    EXPECT_FALSE(options.reduceMotion());
    EXPECT_FALSE(options.increaseContrast());
    EXPECT_EQ(options.reduceTransparency(), options.increaseContrast());

    MemoryDisplayOptions memory;
    memory.setReduceMotion(true);
    EXPECT_TRUE(memory.reduceMotion());
    EXPECT_FALSE(memory.increaseContrast());
}
