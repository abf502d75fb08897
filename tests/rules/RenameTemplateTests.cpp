#include "TarvoCore/RenameTemplate.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <thread>

using namespace tarvo;

namespace {

// 2024-03-05 14:07:09 UTC.
const Date march5 = Date::fromSecondsSince1970(1709647629);

struct ExpandCase {
    const char* templ;
    QString name;
    QString ext;
    int index;
    int count;
    std::optional<QString> app;
    QString expected;
};

QString expandCase(const ExpandCase& c, const QTimeZone& zone = QTimeZone(0)) {
    return RenameTemplate::expand(QString::fromUtf8(c.templ), c.name, c.ext, c.index, c.count,
                                  c.app, march5, zone);
}

} // namespace

TEST(RenameTemplate, ListsItsTokens) {
    EXPECT_EQ(RenameTemplate::tokens(),
              (QStringList{"{name}", "{date}", "{time}", "{n}", "{ext}", "{app}"}));
}

TEST(RenameTemplate, ExpandsTokensAndCleansTheResult) {
    const std::vector<ExpandCase> cases = {
        {"{name}-{n}", "Photo", "jpg", 0, 12, {}, "Photo-01"},
        {"{name}-{n}", "Photo", "jpg", 0, 9, {}, "Photo-1"},
        {"{name}-{n}", "Photo", "jpg", 99, 100, {}, "Photo-100"},
        {"{name}-{n}", "Photo", "jpg", 3, 0, {}, "Photo-4"},
        {"{n}", "Photo", "jpg", 120, 5, {}, "121"},
        {"{date} {time}", "Photo", "jpg", 0, 1, {}, "2024-03-05 140709"},
        {"{name}.{ext} for {app}", "Photo", "jpg", 0, 1, "Firefox", "Photo.jpg for Firefox"},
        {"shot {app}", "Photo", "jpg", 0, 1, {}, "shot"},
        {"{Name} { n }", "Photo", "jpg", 0, 1, {}, "{Name} { n }"},
        {"report {date", "Photo", "jpg", 0, 1, {}, "report {date"},
        {"{a{name}", "Photo", "jpg", 0, 1, {}, "{a{name}"},
        {"a}b{name}", "Photo", "jpg", 0, 1, {}, "a}bPhoto"},
        {"a/b:c", "Photo", "jpg", 0, 1, {}, "a-b-c"},
        {"{name}", "a/b: {date}", "jpg", 0, 1, {}, "a-b- {date}"},
        {"{app}-{ext}", "x", "j/p", 0, 1, "A:B", "A-B-j-p"},
        {"  ", "  My Photo  ", "jpg", 0, 1, {}, "My Photo"},
        {"{app}", "Photo", "jpg", 0, 1, {}, "Photo"},
        {"\n{app}\t", "", "jpg", 0, 1, {}, ""},
        {"Caf\u00e9 \u00fcber {name}.",
         "\u65e5\u672c",
         "jpg",
         0,
         1,
         {},
         "Caf\u00e9 \u00fcber \u65e5\u672c."},
        // A brace carrying a combining mark is another character, not a brace.
        {"{\u0301name}", "Photo", "jpg", 0, 1, {}, "{\u0301name}"},
        {"{name\u0301}", "Photo", "jpg", 0, 1, {}, "{name\u0301}"},
    };
    for (const ExpandCase& c : cases) {
        SCOPED_TRACE(c.templ);
        EXPECT_EQ(expandCase(c), c.expected);
    }
}

TEST(RenameTemplate, DatesFollowTheGivenTimeZone) {
    struct Case {
        int offsetSeconds;
        QString expected;
    };
    const std::vector<Case> cases = {
        {0, "2024-03-05 140709"},
        {-14 * 3600, "2024-03-05 000709"},
        {5 * 3600 + 45 * 60, "2024-03-05 195209"},
        {10 * 3600 + 1800, "2024-03-06 003709"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offsetSeconds);
        EXPECT_EQ(expandCase({"{date} {time}", "x", "", 0, 1, {}, {}}, QTimeZone(c.offsetSeconds)),
                  c.expected);
    }
    // Fractions of a second are cut, never rounded up.
    EXPECT_EQ(RenameTemplate::expand("{time}", "x", "", 0, 1, {}, march5.addingSeconds(0.9996),
                                     QTimeZone(0)),
              "140709");
}

TEST(RenameTemplate, PaddedIndexFillsToTheDigitsOfTheCount) {
    struct Case {
        int index;
        int count;
        QString expected;
    };
    const std::vector<Case> cases = {
        {0, 1, "1"},      {0, 9, "1"}, {0, 10, "01"}, {9, 10, "10"},   {0, 100, "001"},
        {99, 100, "100"}, {0, 0, "1"}, {0, -5, "1"},  {120, 5, "121"}, {1234, 10, "1235"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.index << " of " << c.count);
        EXPECT_EQ(RenameTemplate::paddedIndex(c.index, c.count), c.expected);
    }
}

class UniqueNameTest : public ::testing::Test {
protected:
    QString folder() const { return m_dir.path(); }
    void take(const QString& name) const { m_dir.write(name, "taken"); }
    test::TempDir m_dir;
};

TEST_F(UniqueNameTest, CountsPastTakenNames) {
    struct Case {
        QStringList taken;
        QString ext;
        QString expected;
    };
    const std::vector<Case> cases = {
        {{}, "jpg", "Photo.jpg"},
        {{"Photo.jpg", "Photo 2.jpg"}, "jpg", "Photo 3.jpg"},
        {{"Photo 2.jpg"}, "jpg", "Photo.jpg"},
        {{"Photo"}, "", "Photo 2"},
        {{"Photo.jpg"}, "", "Photo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.taken.join(", ").toStdString());
        test::TempDir dir;
        for (const QString& name : c.taken)
            dir.write(name, "taken");
        EXPECT_EQ(RenameTemplate::uniqueName("Photo", c.ext, dir.path()), c.expected);
    }
}

TEST_F(UniqueNameTest, AFolderOfTheNameCountsAsTaken) {
    ASSERT_TRUE(QDir(folder()).mkdir("Photo.jpg"));
    EXPECT_EQ(RenameTemplate::uniqueName("Photo", "jpg", folder()), "Photo 2.jpg");
}

TEST_F(UniqueNameTest, ReservesTheNameWithAnEmptyFile) {
    const QString first = RenameTemplate::uniqueName("Photo", "jpg", folder());
    const QFileInfo reserved(folder() + "/" + first);
    EXPECT_TRUE(reserved.isFile());
    EXPECT_EQ(reserved.size(), 0);
    // The reservation holds the name against the next caller.
    EXPECT_EQ(RenameTemplate::uniqueName("Photo", "jpg", folder()), "Photo 2.jpg");
    EXPECT_EQ(RenameTemplate::uniqueName("Photo", "jpg", folder() + "/"), "Photo 3.jpg");
}

TEST_F(UniqueNameTest, ConcurrentCallersNeverShareAName) {
    constexpr int threads = 8;
    constexpr int perThread = 25;
    std::vector<QStringList> names(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i)
                names[size_t(t)].append(RenameTemplate::uniqueName("Photo", "png", folder()));
        });
    }
    for (auto& w : workers)
        w.join();
    QSet<QString> all;
    for (const QStringList& list : names) {
        for (const QString& name : list)
            all.insert(name);
    }
    EXPECT_EQ(all.size(), threads * perThread);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), threads * perThread);
    EXPECT_TRUE(all.contains("Photo.png"));
    EXPECT_TRUE(all.contains("Photo 200.png"));
}

TEST_F(UniqueNameTest, FallsBackToARandomSuffixPastItsBound) {
    take("Photo.jpg");
    for (int n = 2; n <= 1000; ++n)
        take(QStringLiteral("Photo %1.jpg").arg(n));
    const QString name = RenameTemplate::uniqueName("Photo", "jpg", folder());
    EXPECT_TRUE(QRegularExpression("^Photo [0-9A-F]{8}\\.jpg$").match(name).hasMatch())
        << name.toStdString();
    EXPECT_EQ(QFileInfo(folder() + "/" + name).size(), 0);
    EXPECT_NE(RenameTemplate::uniqueName("Photo", "jpg", folder()), name);
}

TEST_F(UniqueNameTest, AFolderThatTakesNoFilesStillGetsAName) {
    const QString missing = folder() + "/missing";
    EXPECT_EQ(RenameTemplate::uniqueName("Photo", "jpg", missing), "Photo.jpg");
    EXPECT_FALSE(QFileInfo::exists(missing));

    // A regular file where the folder should be: nothing can be created below it.
    take("plain");
    EXPECT_EQ(RenameTemplate::uniqueName("Photo", "", folder() + "/plain"), "Photo");
}
