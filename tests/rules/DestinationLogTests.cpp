#include "TarvoCore/DestinationLog.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

using namespace tarvo;

namespace {

using Kind = RecentDestination::Kind;

Date t(double secondsSince2001) {
    return Date::fromSecondsSinceReferenceDate(secondsSince2001);
}

class DestinationLogTest : public ::testing::Test {
protected:
    QString file() const { return m_dir.file("Tarvo/destinations.json"); }
    DestinationLog open() const { return DestinationLog(file()); }

    static std::vector<Kind> kinds(const std::vector<RecentDestination>& entries) {
        std::vector<Kind> out;
        for (const auto& e : entries)
            out.push_back(e.kind);
        return out;
    }

    test::TempDir m_dir;
};

} // namespace

TEST_F(DestinationLogTest, NotingAgainBumpsTheEntry) {
    DestinationLog log = open();
    log.noteFolder("/data/a", t(10));
    const QUuid id = log.entries()[0].id;
    log.noteFolder("/data/a", t(5)); // an earlier time is taken as it is
    ASSERT_EQ(log.entries().size(), 1u);
    EXPECT_EQ(log.entries()[0].id, id);
    EXPECT_EQ(log.entries()[0].uses, 2);
    EXPECT_EQ(log.entries()[0].lastUsed, t(5));
    // Paths compare as text: a trailing slash is another folder.
    log.noteFolder("/data/a/", t(6));
    EXPECT_EQ(log.entries().size(), 2u);
}

TEST_F(DestinationLogTest, SortsByTimeThenUsesAndKeepsTwelve) {
    DestinationLog log = open();
    log.noteApp("x", t(50));
    log.noteApp("x", t(50));    // two uses at 50
    log.noteFolder("x", t(50)); // same text, another kind; one use at 50
    log.noteFolder("/newest", t(90));
    EXPECT_EQ(kinds(log.entries()),
              (std::vector<Kind>{Kind::folder("/newest"), Kind::app("x"), Kind::folder("x")}));

    for (int i = 0; i < 9; ++i)
        log.noteFolder(QStringLiteral("/f%1").arg(i), t(100 + i));
    ASSERT_EQ(log.entries().size(), 12u);
    // A thirteenth drops the last: the oldest, and among equal times the one
    // with fewer uses.
    log.noteFolder("/f9", t(200));
    ASSERT_EQ(log.entries().size(), 12u);
    EXPECT_EQ(log.entries().front().kind, Kind::folder("/f9"));
    EXPECT_EQ(log.entries().back().kind, Kind::app("x"));

    // One older than all twelve is dropped at once.
    log.noteApp("old", t(1));
    EXPECT_EQ(log.entries().size(), 12u);
    for (const auto& e : log.entries())
        EXPECT_NE(e.kind, Kind::app("old"));
}

TEST_F(DestinationLogTest, EqualEntriesKeepTheirOrder) {
    DestinationLog log = open();
    log.noteFolder("/a", t(7));
    log.noteFolder("/b", t(7));
    log.noteFolder("/c", t(7));
    EXPECT_EQ(kinds(log.entries()),
              (std::vector<Kind>{Kind::folder("/a"), Kind::folder("/b"), Kind::folder("/c")}));
}

TEST_F(DestinationLogTest, TheFileManagerIsNoApplicationDestination) {
    DestinationLog log = open();
    for (const char* id : {"com.apple.finder", "org.gnome.Nautilus", "org.kde.dolphin", "thunar"}) {
        SCOPED_TRACE(id);
        log.noteApp(id, t(1));
        EXPECT_TRUE(log.entries().empty());
        EXPECT_FALSE(QFileInfo::exists(file()));
    }
    log.noteApp("com.apple.Finder", t(1));
    EXPECT_EQ(kinds(log.entries()), std::vector<Kind>{Kind::app("com.apple.Finder")});
}

TEST_F(DestinationLogTest, WritesCompactJsonWithDatesSince2001) {
    DestinationLog log = open();
    log.noteFolder("/data/out", t(60)); // 2001-01-01 00:01:00 UTC
    log.noteApp("firefox", t(60.25));
    const QString id0 = json::uuidText(log.entries()[0].id);
    const QString id1 = json::uuidText(log.entries()[1].id);
    log.waitForWrites();
    EXPECT_EQ(QString::fromUtf8(m_dir.read("Tarvo/destinations.json")),
              QStringLiteral(R"([{"id":"%1","kind":{"app":{"bundleID":"firefox"}},)"
                             R"("lastUsed":60.25,"uses":1},)"
                             R"({"id":"%2","kind":{"folder":{"path":"\/data\/out"}},)"
                             R"("lastUsed":60,"uses":1}])")
                  .arg(id0, id1));
    EXPECT_EQ(Date::fromSecondsSince1970(978307260).secondsSinceReferenceDate(), 60);

    const DestinationLog reopened = open();
    EXPECT_EQ(reopened.entries(), log.entries());
}

TEST_F(DestinationLogTest, ReadsAnyKeyOrderAndBothSlashForms) {
    m_dir.write(
        "Tarvo/destinations.json",
        R"([ {"uses": 3, "lastUsed": -1.5, "kind": {"other": {}, "folder": {"path": "/a/b"}},
                      "id": "1E000000-0000-4000-A000-000000000009"},
                     {"kind":{"app":{"bundleID":"org\/x"}},"id":"1e000000-0000-4000-a000-00000000000a","lastUsed":0,"uses":1} ])");
    const DestinationLog log = open();
    ASSERT_EQ(log.entries().size(), 2u);
    EXPECT_EQ(log.entries()[0].kind, Kind::folder("/a/b"));
    EXPECT_EQ(log.entries()[0].uses, 3);
    EXPECT_EQ(log.entries()[0].lastUsed, t(-1.5));
    EXPECT_EQ(log.entries()[1].kind, Kind::app("org/x"));
}

TEST_F(DestinationLogTest, ADamagedFileStartsEmptyAndIsReplacedAtTheNextNote) {
    const char* good =
        R"({"id":"1E000000-0000-4000-A000-000000000009","kind":{"app":{"bundleID":"a"}},"lastUsed":0,"uses":1})";
    const std::vector<QByteArray> damaged = {
        "not json",
        R"({"entries":[]})",
        QByteArray("[") + good +
            R"(,{"id":"1E000000-0000-4000-A000-000000000008","kind":{"folder":{"path":"/a"},"app":{"bundleID":"a"}},"lastUsed":0,"uses":1}])",
        QByteArray("[") + good +
            R"(,{"id":"1E000000-0000-4000-A000-000000000008","kind":{},"lastUsed":0,"uses":1}])",
        QByteArray("[") + good +
            R"(,{"id":"1E000000-0000-4000-A000-000000000008","kind":{"app":{"bundleID":"a"}},"lastUsed":0}])",
        QByteArray("[") + good +
            R"(,{"id":"1E000000-0000-4000-A000-000000000008","kind":{"app":{"path":"a"}},"lastUsed":0,"uses":1}])",
        QByteArray("[") + good +
            R"(,{"id":"1E000000-0000-4000-A000-000000000008","kind":{"app":{"bundleID":"a"}},"lastUsed":"0","uses":1}])",
    };
    for (const QByteArray& bytes : damaged) {
        SCOPED_TRACE(bytes.toStdString());
        m_dir.write("Tarvo/destinations.json", bytes);
        DestinationLog log = open();
        EXPECT_TRUE(log.entries().empty());
        EXPECT_EQ(m_dir.read("Tarvo/destinations.json"), bytes);
        log.noteFolder("/x", t(1));
        log.waitForWrites();
        EXPECT_EQ(open().entries().size(), 1u);
    }
}

TEST_F(DestinationLogTest, CreatesItsFolderAndIgnoresWriteFailures) {
    DestinationLog log(m_dir.file("a/b/destinations.json"));
    log.noteFolder("/x", t(1));
    log.waitForWrites();
    EXPECT_TRUE(QFileInfo(m_dir.file("a/b/destinations.json")).isFile());

    m_dir.write("plain", "x");
    DestinationLog unwritable(m_dir.file("plain/destinations.json"));
    unwritable.noteFolder("/x", t(1));
    unwritable.noteFolder("/y", t(2));
    EXPECT_EQ(kinds(unwritable.entries()),
              (std::vector<Kind>{Kind::folder("/y"), Kind::folder("/x")}));
}

TEST_F(DestinationLogTest, TopSkipsMissingFoldersOutsideHome) {
    const QString home = m_dir.file("home/ann");
    const QString existing = m_dir.file("elsewhere/existing");
    ASSERT_TRUE(QDir().mkpath(existing));
    DestinationLog log = open();
    double now = 100;
    // Noted oldest first, so they end up listed in the reverse order.
    for (const QString& path : {existing, m_dir.file("home/anna/x"), home + "/missing/deep", home,
                                m_dir.file("elsewhere/missing")}) {
        log.noteFolder(path, t(now++));
    }
    log.noteApp("firefox", t(now++));

    EXPECT_EQ(kinds(log.top(8, home)),
              (std::vector<Kind>{Kind::app("firefox"), Kind::folder(home),
                                 Kind::folder(home + "/missing/deep"), Kind::folder(existing)}));
    // A trailing slash on the home path changes nothing.
    EXPECT_EQ(log.top(8, home + "/").size(), 4u);
    EXPECT_EQ(kinds(log.top(2, home)),
              (std::vector<Kind>{Kind::app("firefox"), Kind::folder(home)}));
    // Skipped entries stay in the log.
    EXPECT_EQ(log.entries().size(), 6u);
}
