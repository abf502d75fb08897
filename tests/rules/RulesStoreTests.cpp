#include "TarvoCore/DefaultRules.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Json.h"
#include "TarvoCore/RulesStore.h"

#include "support/DiskRecorder.h"
#include "support/RecordingLogSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>

using namespace tarvo;

namespace {

class RulesStoreTest : public ::testing::Test {
protected:
    QString folder() const { return m_dir.file("Tarvo"); }
    QString rulesFile() const { return folder() + "/rules.json"; }
    QString categoriesFile() const { return folder() + "/categories.json"; }
    QByteArray read(const QString& name) {
        settle();
        return m_dir.read("Tarvo/" + name);
    }
    // The stores write off the calling thread: what they were asked to write
    // is on disk once this returns.
    void settle() {
        for (const std::weak_ptr<RulesStore>& weak : m_opened) {
            if (const std::shared_ptr<RulesStore> store = weak.lock())
                store->waitForWrites();
        }
    }
    void write(const QString& name, const QByteArray& bytes) const {
        m_dir.write("Tarvo/" + name, bytes);
    }

    std::shared_ptr<RulesStore> open() {
        settle();
        auto store = std::make_shared<RulesStore>(folder());
        store->setOnChange([this] { ++changes; });
        m_opened.push_back(store);
        return store;
    }

    static std::vector<QUuid> ids(const RulesStore& store) {
        std::vector<QUuid> out;
        for (const Rule& r : store.rules())
            out.push_back(r.id);
        return out;
    }

    static Rule userRule(double createdAt) {
        Rule rule;
        rule.id = QUuid::createUuid();
        rule.sourceType = SourceType::text;
        rule.destination = Destination::app("org/x");
        rule.deliver = Delivery::plainText();
        rule.rename = "{name}-{n}";
        rule.createdAt = Date::fromSecondsSince1970(createdAt);
        return rule;
    }

    test::TempDir m_dir;
    std::vector<std::weak_ptr<RulesStore>> m_opened;
    int changes = 0;
};

} // namespace

TEST(DefaultRules, AreTheSixBuiltInRules) {
    const auto rules = DefaultRules::all();
    ASSERT_EQ(rules.size(), 6u);
    const QStringList expected = {
        R"({"createdAt":0,"deliver":{"path":{}},"destination":{"category":{"_0":"terminalOrEditor"}},"enabled":true,"id":"1E000000-0000-4000-A000-000000000001","sourceType":"images"})",
        R"({"createdAt":0,"deliver":{"image":{"_0":{"format":"jpeg","maxPixels":2000,"quality":0.85,"stripLocation":true}}},"destination":{"category":{"_0":"browser"}},"enabled":true,"id":"1E000000-0000-4000-A000-000000000002","sourceType":"images"})",
        R"({"createdAt":0,"deliver":{"image":{"_0":{"format":"jpeg","quality":0.92,"stripLocation":true}}},"destination":{"anywhere":{}},"enabled":true,"id":"1E000000-0000-4000-A000-000000000003","sourceType":"heic"})",
        R"({"createdAt":0,"deliver":{"plainText":{}},"destination":{"category":{"_0":"terminalOrEditor"}},"enabled":true,"id":"1E000000-0000-4000-A000-000000000004","sourceType":"richText"})",
        R"({"createdAt":0,"deliver":{"webloc":{}},"destination":{"category":{"_0":"finder"}},"enabled":true,"id":"1E000000-0000-4000-A000-000000000005","sourceType":"url"})",
        R"({"createdAt":0,"deliver":{"path":{}},"destination":{"category":{"_0":"terminalOrEditor"}},"enabled":true,"id":"1E000000-0000-4000-A000-000000000006","sourceType":"anyFile"})",
    };
    for (size_t i = 0; i < rules.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(QString::fromUtf8(json::write(rules[i].toJson())), expected[qsizetype(i)]);
    }
    EXPECT_EQ(DefaultRules::seedDate(), Date::fromSecondsSince1970(0));
}

TEST_F(RulesStoreTest, FirstStartGivesTheDefaultsAndWritesNothing) {
    auto store = open();
    EXPECT_TRUE(QFileInfo(folder()).isDir());
    EXPECT_EQ(store->rules(), DefaultRules::all());
    EXPECT_EQ(store->categories(), AppCategoryMap());
    EXPECT_TRUE(QDir(folder()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    EXPECT_EQ(store->rulesURL(), rulesFile());
    EXPECT_EQ(store->categoriesURL(), categoriesFile());
}

TEST_F(RulesStoreTest, SaveWritesSortedIndentedFilesThatReadBack) {
    auto store = open();
    store->add(userRule(1700000000.5));
    store->categories().setCategory(AppCategory::browser, "org/x");
    store->categories().pin("firefox");
    store->save();
    EXPECT_EQ(changes, 2);

    const QString rules = QString::fromUtf8(read("rules.json"));
    // Keys in sorted order, "rename" absent from the defaults, slashes escaped.
    const QRegularExpression firstRule(
        R"(^\[\s*\{\s*"createdAt" : 0,\s*"deliver" : .*?"destination" : .*?"enabled" : true,\s*)"
        R"("id" : "1E000000-0000-4000-A000-000000000001",\s*"sourceType" : "images"\s*\},)",
        QRegularExpression::DotMatchesEverythingOption);
    EXPECT_TRUE(firstRule.match(rules).hasMatch()) << rules.toStdString();
    EXPECT_TRUE(rules.contains(R"("app" : {)"));
    EXPECT_TRUE(rules.contains(R"("_0" : "org\/x")"));
    EXPECT_TRUE(rules.contains(R"("createdAt" : 1700000000.5)"));
    EXPECT_EQ(rules.count("rename"), 1);
    EXPECT_TRUE(rules.contains('\n'));

    const QString categories = QString::fromUtf8(read("categories.json"));
    EXPECT_LT(categories.indexOf("overrides"), categories.indexOf("pinned"));
    EXPECT_LT(categories.indexOf("pinned"), categories.indexOf("seen"));

    auto reopened = open();
    EXPECT_EQ(reopened->rules(), store->rules());
    EXPECT_EQ(reopened->categories(), store->categories());
}

TEST_F(RulesStoreTest, ReadsFilesInAnyLayout) {
    write("rules.json",
          R"([{"sourceType":"text","id":"1E000000-0000-4000-A000-0000000000AA","enabled":false,
               "destination":{"app":{"_0":"org/x"}},"deliver":{"plainText":{}},"createdAt":5}])");
    write("categories.json", R"({"seen":["org\/x"]})");
    auto store = open();
    ASSERT_EQ(store->rules().size(), 1u);
    EXPECT_FALSE(store->rules()[0].enabled);
    EXPECT_EQ(store->rules()[0].destination, Destination::app("org/x"));
    EXPECT_EQ(store->categories().seen, QStringList{"org/x"});
}

TEST_F(RulesStoreTest, AnEmptyArrayMeansNoRules) {
    write("rules.json", "[]");
    EXPECT_TRUE(open()->rules().empty());
}

TEST_F(RulesStoreTest, OneBadRuleLoadsTheDefaultsAndKeepsACopyOfTheFile) {
    const QByteArray damaged =
        R"([{"sourceType":"text","id":"1E000000-0000-4000-A000-0000000000AA","enabled":true,
             "destination":{"anywhere":{}},"deliver":{"plainText":{}},"createdAt":5},
            {"sourceType":"Text"}])";
    write("rules.json", damaged);
    auto store = open();
    EXPECT_EQ(store->rules(), DefaultRules::all());
    settle();
    EXPECT_FALSE(QFileInfo::exists(rulesFile() + ".bak"));

    // The first save, here the shell noting a new application, replaces the file.
    EXPECT_TRUE(store->noteSeen("firefox"));
    EXPECT_EQ(read("rules.json.bak"), damaged);
    EXPECT_EQ(open()->rules(), DefaultRules::all());
    EXPECT_FALSE(QFileInfo::exists(categoriesFile() + ".bak")); // there was none

    // Later saves leave the copy alone.
    store->restoreDefaults();
    EXPECT_EQ(read("rules.json.bak"), damaged);
}

TEST_F(RulesStoreTest, DamagedFilesOfEveryKindAreCopiedAside) {
    struct Case {
        const char* name;
        QByteArray rules;
        QByteArray categories;
    };
    const std::vector<Case> cases = {
        {"not JSON", "{not json", "nor this"},
        {"wrong top level", R"({"rules":[]})", R"([])"},
        {"bad member", R"([{"id":"x"}])", R"({"overrides":{"firefox":"Browser"}})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write("rules.json", c.rules);
        write("categories.json", c.categories);
        QFile::remove(rulesFile() + ".bak");
        QFile::remove(categoriesFile() + ".bak");
        auto store = open();
        EXPECT_EQ(store->rules(), DefaultRules::all());
        EXPECT_EQ(store->categories(), AppCategoryMap());
        store->save();
        EXPECT_EQ(read("rules.json.bak"), c.rules);
        EXPECT_EQ(read("categories.json.bak"), c.categories);
        EXPECT_EQ(open()->rules(), DefaultRules::all());
    }
}

TEST_F(RulesStoreTest, WithoutItsCopyADamagedFileIsNotReplaced) {
    write("rules.json", "damaged");
    auto store = open();
    // Something in the way of the copy.
    ASSERT_TRUE(QDir().mkpath(rulesFile() + ".bak/blocked"));
    test::RecordingLogSink sink;
    store->save();
    settle();
    EXPECT_EQ(sink.lines(), std::vector<QString>{"core error: could not write rules.json.bak"});
    EXPECT_EQ(read("rules.json"), "damaged");
    settle();
    EXPECT_TRUE(QFileInfo::exists(categoriesFile()));
    EXPECT_EQ(changes, 1);

    ASSERT_TRUE(QDir(rulesFile() + ".bak").removeRecursively());
    EXPECT_TRUE(store->save());
    EXPECT_EQ(read("rules.json.bak"), "damaged");
    EXPECT_EQ(open()->rules(), DefaultRules::all());
    EXPECT_EQ(QString::fromUtf8(read("rules.json")).count("\"id\""), 6);
}

// A file that is there but cannot be read is not a missing one: the user's
// rules are not replaced by the defaults for good.
TEST_F(RulesStoreTest, UnreadableFilesAreUsedAsDefaultsButNeverOverwritten) {
    struct Case {
        const char* name;
        QString file;
        int code;
        QString line;
    };
    const std::vector<Case> cases = {
        {"rules, permission denied", "rules.json", EACCES,
         "core error: could not open “rules.json”: Permission denied; using the default rules "
         "and leaving the file as it is"},
        {"categories, input/output error", "categories.json", EIO,
         "core error: could not open “categories.json”: Input/output error; using the default "
         "categories and leaving the file as it is"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder()).removeRecursively();
        const Rule mine = userRule(5);
        {
            auto store = open();
            store->rules() = {mine};
            store->pinApp("org.example.Pinned");
            store->save();
        }
        const QByteArray before = read(c.file);
        std::vector<QString> lines;
        {
            test::DiskRecorder disk;
            disk.fail(DiskIO::Call::open, "/" + c.file, c.code);
            test::RecordingLogSink sink;
            auto store = open();
            lines = sink.lines();
            if (c.file == "rules.json")
                EXPECT_EQ(store->rules(), DefaultRules::all());
            else
                EXPECT_TRUE(store->categories().pinned.isEmpty());
            EXPECT_FALSE(store->add(userRule(6))) << "the change lives in memory only";
            store->pinApp("org.example.Other");
        }
        EXPECT_EQ(lines, std::vector<QString>{c.line});
        EXPECT_EQ(read(c.file), before) << "left as it was";
        settle();
        EXPECT_FALSE(QFileInfo::exists(folder() + "/" + c.file + ".bak"));
        const auto reopened = open();
        EXPECT_EQ(reopened->rules().front(), mine) << "readable again, it is used again";
    }
}

TEST_F(RulesStoreTest, FailedWritesAreLoggedAndTheRestGoesOn) {
    struct Case {
        QStringList blocked;
        std::vector<QString> lines;
    };
    const std::vector<Case> cases = {
        {{"rules.json"}, {"core error: could not write rules.json"}},
        {{"categories.json"}, {"core error: could not write categories.json"}},
        {{"rules.json", "categories.json"},
         {"core error: could not write rules.json", "core error: could not write categories.json"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blocked.join(", ").toStdString());
        QDir(folder()).removeRecursively();
        auto store = open();
        // A folder where the file should go makes the atomic swap fail.
        for (const QString& name : c.blocked)
            ASSERT_TRUE(QDir().mkpath(folder() + "/" + name + "/x"));
        changes = 0;
        test::RecordingLogSink sink;
        // The write fails on the writer, after the change took effect.
        EXPECT_TRUE(store->add(userRule(1)));
        settle();
        EXPECT_EQ(sink.lines(), c.lines);
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(store->rules().size(), 7u);
        for (const QString& name : {QString("rules.json"), QString("categories.json")})
            EXPECT_EQ(QFileInfo(folder() + "/" + name).isFile(), !c.blocked.contains(name));
    }
}

TEST_F(RulesStoreTest, UpdateReplacesTheRuleInPlaceOrDoesNothing) {
    auto store = open();
    Rule edited = store->rules()[1];
    edited.enabled = false;
    edited.rename = "shot";
    EXPECT_TRUE(store->update(edited));
    EXPECT_EQ(store->rules()[1], edited);
    EXPECT_EQ(changes, 1);

    EXPECT_TRUE(store->update(userRule(1))); // unknown identifier: nothing to write
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(store->rules().size(), 6u);

    store->restoreDefaults();
    EXPECT_EQ(store->rules()[1], DefaultRules::all()[1]);
}

TEST_F(RulesStoreTest, RemoveKeepsTheOrderAndAlwaysSaves) {
    auto store = open();
    const auto all = DefaultRules::all();
    store->remove({all[1].id, all[4].id});
    EXPECT_EQ(ids(*store), (std::vector<QUuid>{all[0].id, all[2].id, all[3].id, all[5].id}));
    QFile::remove(rulesFile());
    store->remove({QUuid::createUuid()});
    EXPECT_EQ(changes, 2);
    settle();
    EXPECT_TRUE(QFileInfo::exists(rulesFile()));
}

TEST_F(RulesStoreTest, MoveClampsTheTargetAndSkipsNoMoves) {
    const auto all = DefaultRules::all();
    struct Case {
        int rule;
        qsizetype to;
        std::vector<int> order;
        bool writes;
    };
    const std::vector<Case> cases = {
        {0, 2, {1, 2, 0, 3, 4, 5}, true},  {4, 1, {0, 4, 1, 2, 3, 5}, true},
        {1, 99, {0, 2, 3, 4, 5, 1}, true}, {3, -4, {3, 0, 1, 2, 4, 5}, true},
        {2, 2, {0, 1, 2, 3, 4, 5}, false}, {5, 9, {0, 1, 2, 3, 4, 5}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "rule " << c.rule << " to " << c.to);
        QDir(folder()).removeRecursively();
        auto store = open();
        changes = 0;
        store->move(all[size_t(c.rule)].id, c.to);
        std::vector<QUuid> expected;
        for (int i : c.order)
            expected.push_back(all[size_t(i)].id);
        EXPECT_EQ(ids(*store), expected);
        EXPECT_EQ(changes, c.writes ? 1 : 0);
        settle();
        EXPECT_EQ(QFileInfo::exists(rulesFile()), c.writes);
    }
    auto store = open();
    changes = 0;
    store->move(QUuid::createUuid(), 0);
    EXPECT_EQ(changes, 0);
}

TEST_F(RulesStoreTest, CategoryOperationsSave) {
    auto store = open();
    EXPECT_TRUE(store->noteSeen("firefox"));
    EXPECT_EQ(changes, 1);
    settle();
    EXPECT_TRUE(QFileInfo::exists(rulesFile()));
    EXPECT_TRUE(QFileInfo::exists(categoriesFile()));

    QFile::remove(categoriesFile());
    EXPECT_FALSE(store->noteSeen("firefox"));
    EXPECT_EQ(changes, 1);
    settle();
    EXPECT_FALSE(QFileInfo::exists(categoriesFile()));

    store->setCategory(AppCategory::design, "org.example.Paint");
    store->pinApp("code");
    store->pinApp("org.example.Paint");
    store->unpinApp("code");
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(store->categories().seen, (QStringList{"firefox", "org.example.Paint", "code"}));
    EXPECT_EQ(store->categories().pinned, QStringList{"org.example.Paint"});

    store->forgetApp("org.example.Paint");
    EXPECT_EQ(changes, 6);
    const AppCategoryMap onDisk = open()->categories();
    EXPECT_EQ(onDisk.seen, (QStringList{"firefox", "code"}));
    EXPECT_TRUE(onDisk.pinned.isEmpty());
    EXPECT_TRUE(onDisk.overrides.isEmpty());
}

TEST_F(RulesStoreTest, RestoreDefaultsKeepsTheCategories) {
    auto store = open();
    store->setCategory(AppCategory::browser, "code");
    store->remove({DefaultRules::all()[0].id});
    store->restoreDefaults();
    EXPECT_EQ(store->rules(), DefaultRules::all());
    EXPECT_EQ(store->categories().category(QString("code")), AppCategory::browser);
}

TEST_F(RulesStoreTest, OpeningFailsOnlyWhenTheFolderCannotBeMade) {
    m_dir.write("plain", "x");
    EXPECT_THROW(RulesStore(m_dir.file("plain/Tarvo")), FileError);
    write("rules.json", "damaged");
    write("categories.json", "damaged");
    EXPECT_NO_THROW(open());
}

TEST_F(RulesStoreTest, DefaultDirectoryIsTarvoInTheDataFolder) {
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    const QString data = m_dir.file("data/share");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    const QString directory = RulesStore::defaultDirectory();
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
    EXPECT_EQ(directory, data + "/Tarvo");
    EXPECT_TRUE(QFileInfo(data).isDir());
    EXPECT_FALSE(QFileInfo::exists(directory));
}
