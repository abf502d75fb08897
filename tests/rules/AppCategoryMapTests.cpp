#include "TarvoCore/AppCategoryMap.h"
#include "TarvoCore/Json.h"

#include <gtest/gtest.h>

#include <map>

using namespace tarvo;
using json::DecodingError;

namespace {

const QString cafeComposed = QString::fromUtf8("org.caf\u00e9.App");
const QString cafeDecomposed = QString::fromUtf8("org.cafe\u0301.App");

} // namespace

TEST(AppCategorySeed, HoldsTheWellKnownApplicationsByFamily) {
    const auto& seed = AppCategoryMap::seed();
    EXPECT_EQ(seed.size(), 95);
    std::map<AppCategory, int> perCategory;
    for (auto it = seed.begin(); it != seed.end(); ++it)
        ++perCategory[it.value()];
    EXPECT_EQ(perCategory[AppCategory::terminalOrEditor], 39);
    EXPECT_EQ(perCategory[AppCategory::browser], 17);
    EXPECT_EQ(perCategory[AppCategory::messaging], 23);
    EXPECT_EQ(perCategory[AppCategory::design], 15);
    EXPECT_EQ(perCategory[AppCategory::finder], 1);
    EXPECT_EQ(perCategory[AppCategory::other], 0);
    EXPECT_EQ(seed.value("com.apple.finder", AppCategory::other), AppCategory::finder);
}

TEST(AppCategorySeed, LinuxRowsAddOnlyNewApplications) {
    const auto& rows = AppCategoryMap::linuxSeed();
    for (auto it = rows.begin(); it != rows.end(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_FALSE(AppCategoryMap::seed().contains(it.key()));
        EXPECT_NE(it.value(), AppCategory::other);
    }
    const QStringList all = AppCategoryMap::builtInBundleIDs();
    EXPECT_EQ(all.size(), AppCategoryMap::seed().size() + rows.size());
    // The seed table's identifiers come first.
    EXPECT_TRUE(AppCategoryMap::seed().contains(all.first()));
    EXPECT_TRUE(rows.contains(all.last()));
}

TEST(AppCategoryMap, LooksUpOverridesThenSeedThenLinuxRows) {
    struct Case {
        std::optional<QString> id;
        AppCategory expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, AppCategory::other},
        {"com.apple.finder", AppCategory::finder},
        {"com.google.Chrome", AppCategory::browser},
        {"com.google.chrome", AppCategory::other}, // exact case
        {"org.gnome.Nautilus", AppCategory::finder},
        {"org.kde.dolphin", AppCategory::finder},
        {"org.gnome.Terminal", AppCategory::terminalOrEditor},
        {"code", AppCategory::terminalOrEditor},
        {"firefox", AppCategory::browser},
        {"org.telegram.desktop", AppCategory::messaging},
        {"org.gimp.GIMP", AppCategory::design},
        {"org.example.Unknown", AppCategory::other},
        {"", AppCategory::other},
    };
    const AppCategoryMap map;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id.value_or("<none>").toStdString());
        EXPECT_EQ(map.category(c.id), c.expected);
    }
}

TEST(AppCategoryMap, OverrideHidesTheBuiltInTablesUntilCleared) {
    AppCategoryMap map;
    map.setCategory(AppCategory::other, "com.apple.Safari");
    map.setCategory(AppCategory::messaging, "firefox");
    EXPECT_EQ(map.category(QString("com.apple.Safari")), AppCategory::other);
    EXPECT_EQ(map.category(QString("firefox")), AppCategory::messaging);
    map.clearOverride("com.apple.Safari");
    map.clearOverride("firefox");
    EXPECT_EQ(map.category(QString("com.apple.Safari")), AppCategory::browser);
    EXPECT_EQ(map.category(QString("firefox")), AppCategory::browser);
    // Clearing keeps what was seen.
    EXPECT_EQ(map.seen, (QStringList{"com.apple.Safari", "firefox"}));
}

TEST(AppCategoryMap, IdentifiersMeetByCanonicalEquivalence) {
    AppCategoryMap map;
    map.setCategory(AppCategory::design, cafeComposed);
    EXPECT_EQ(map.category(cafeDecomposed), AppCategory::design);
    EXPECT_FALSE(map.noteSeen(cafeDecomposed));
    map.pin(cafeComposed);
    EXPECT_TRUE(map.isPinned(cafeDecomposed));
    EXPECT_EQ(map.listedBundleIDs().size(), 1);
    map.forget(cafeDecomposed);
    EXPECT_EQ(map, AppCategoryMap());
}

TEST(AppCategoryMap, FileManagersAreTheBuiltInFinderRows) {
    struct Case {
        const char* id;
        bool fileManager;
    };
    const std::vector<Case> cases = {
        {"com.apple.finder", true},
        {"org.gnome.Nautilus", true},
        {"org.kde.dolphin", true},
        {"thunar", true},
        {"nemo", true},
        {"pcmanfm", true},
        {"com.apple.Finder", false},
        {"firefox", false},
        {"org.example.Files", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(AppCategoryMap::isFileManager(c.id), c.fileManager);
    }
    // The user's category is about rules; the application is no file manager for it.
    AppCategoryMap map;
    map.setCategory(AppCategory::finder, "org.example.Files");
    EXPECT_FALSE(AppCategoryMap::isFileManager("org.example.Files"));
}

TEST(AppCategoryMap, SeenAndPinnedLists) {
    AppCategoryMap map;
    EXPECT_TRUE(map.noteSeen("a"));
    EXPECT_FALSE(map.noteSeen("a"));
    map.setCategory(AppCategory::browser, "a"); // already seen: not appended again
    map.setCategory(AppCategory::browser, "b");
    EXPECT_EQ(map.seen, (QStringList{"a", "b"}));

    map.pin("c"); // new: pinned and seen
    map.pin("a"); // seen already: only pinned
    EXPECT_EQ(map.pinned, (QStringList{"c", "a"}));
    EXPECT_EQ(map.seen, (QStringList{"a", "b", "c"}));

    // A map read from a file may pin what it never saw; pinning again adds nothing.
    AppCategoryMap read;
    read.pinned = {"x"};
    read.pin("x");
    EXPECT_EQ(read.pinned, QStringList{"x"});
    EXPECT_TRUE(read.seen.isEmpty());
}

TEST(AppCategoryMap, UnpinAndForgetRemoveEveryOccurrence) {
    AppCategoryMap map;
    map.seen = {"a", "b", "a", "c"};
    map.pinned = {"b", "a", "a"};
    map.overrides.insert("a", AppCategory::design);
    map.overrides.insert("com.apple.Safari", AppCategory::other);

    AppCategoryMap unpinned = map;
    unpinned.unpin("a");
    EXPECT_EQ(unpinned.pinned, QStringList{"b"});
    EXPECT_EQ(unpinned.seen, map.seen);
    EXPECT_EQ(unpinned.overrides, map.overrides);

    map.forget("a");
    map.forget("com.apple.Safari");
    EXPECT_EQ(map.seen, (QStringList{"b", "c"}));
    EXPECT_EQ(map.pinned, QStringList{"b"});
    EXPECT_TRUE(map.overrides.isEmpty());
    EXPECT_FALSE(map.listedBundleIDs().contains("a"));
    // The seed table still answers.
    EXPECT_EQ(map.category(QString("com.apple.Safari")), AppCategory::browser);
}

TEST(AppCategoryMap, ListsEachIdentifierOnceInAscendingOrder) {
    AppCategoryMap map;
    map.seen = {"B", "A", "b", "A"};
    map.overrides.insert("C", AppCategory::browser);
    map.overrides.insert("B", AppCategory::browser);
    map.pinned = {"A", "\u00e9"};
    // Upper-case letters sort before lower-case ones, non-ASCII after both.
    EXPECT_EQ(map.listedBundleIDs(), (QStringList{"A", "B", "C", "b", "\u00e9"}));
}

TEST(AppCategoryMap, EqualityIgnoresNothingButTheSeed) {
    AppCategoryMap a;
    a.seen = {"x", "y"};
    AppCategoryMap b = a;
    EXPECT_EQ(a, b);
    b.seen = {"y", "x"};
    EXPECT_NE(a, b);
    b = a;
    b.pinned = {"x"};
    EXPECT_NE(a, b);
    b = a;
    b.overrides.insert("x", AppCategory::other);
    EXPECT_NE(a, b);
}

TEST(AppCategoryMapJson, ReadsMissingAndNullMembersAsEmpty) {
    for (const char* text :
         {"{}", R"({"seen":null})", R"({"overrides":null,"seen":null,"pinned":null,"other":1})"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(AppCategoryMap::fromJson(json::parse(text)), AppCategoryMap());
    }
}

TEST(AppCategoryMapJson, ReadsListsAsTheyStand) {
    const auto map = AppCategoryMap::fromJson(
        json::parse(R"({"overrides":{"com.apple.Terminal":"browser","org\/x":"finder"},)"
                    R"("seen":["a","b","a"],"pinned":["b"]})"));
    EXPECT_EQ(map.seen, (QStringList{"a", "b", "a"}));
    EXPECT_EQ(map.pinned, QStringList{"b"});
    EXPECT_EQ(map.category(QString("com.apple.Terminal")), AppCategory::browser);
    EXPECT_EQ(map.category(QString("org/x")), AppCategory::finder);
}

TEST(AppCategoryMapJson, RefusesWrongTypesAndUnknownCategories) {
    for (const char* text : {
             R"({"overrides":{"com.apple.Safari":"Browser"}})",
             R"({"overrides":{"com.apple.Safari":3}})",
             R"({"overrides":[]})",
             R"({"seen":"a"})",
             R"({"seen":[1]})",
             R"({"pinned":[null]})",
             R"([])",
         }) {
        SCOPED_TRACE(text);
        EXPECT_THROW(AppCategoryMap::fromJson(json::parse(text)), DecodingError);
    }
}

TEST(AppCategoryMapJson, WritesAllThreeMembers) {
    EXPECT_EQ(json::write(AppCategoryMap().toJson()), R"({"overrides":{},"pinned":[],"seen":[]})");

    AppCategoryMap map;
    map.setCategory(AppCategory::terminalOrEditor, "org/x");
    map.pin("firefox");
    EXPECT_EQ(json::write(map.toJson()),
              R"({"overrides":{"org\/x":"terminalOrEditor"},"pinned":["firefox"],)"
              R"("seen":["org\/x","firefox"]})");
    EXPECT_EQ(AppCategoryMap::fromJson(map.toJson()), map);
}
