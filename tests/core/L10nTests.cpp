#include "TarvoCore/L10n.h"
#include "TarvoCore/RuleModel.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <set>

using namespace tarvo;

TEST(L10n, TableHoldsEveryKeyWithText) {
    const auto& table = L10n::table();
    EXPECT_EQ(table.size(), 156);
    for (auto it = table.begin(); it != table.end(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_FALSE(it.value().trimmed().isEmpty());
    }
    // The families built from raw values resolve too.
    for (SourceType t : allSourceTypes)
        EXPECT_NE(displayName(t), "sourceType." + rawValue(t));
    for (AppCategory c : allAppCategories)
        EXPECT_NE(displayName(c), "category." + rawValue(c));
    EXPECT_NE(L10n::menuQuit(), "menu.quit");
    EXPECT_EQ(L10n::allButtonTitles().size(), 23);
    EXPECT_EQ(L10n::menuBarTitles().size(), 5);
    EXPECT_EQ(L10n::settingsTabTitles().size(), 4);
}

TEST(L10n, FormatStringsConsumeExactlyTheirArguments) {
    static const QRegularExpression placeholder(QStringLiteral("%(\\d)"));
    std::set<QString> formatted;
    for (const L10n::FormatSignature& signature : L10n::formatSignatures()) {
        const QString key = QString::fromLatin1(signature.key);
        SCOPED_TRACE(signature.key);
        formatted.insert(key);
        ASSERT_TRUE(L10n::table().contains(key));
        std::set<int> used;
        for (const auto& m : placeholder.globalMatch(L10n::table().value(key)))
            used.insert(m.captured(1).toInt());
        std::set<int> expected;
        for (size_t i = 1; i <= signature.arguments.size(); ++i)
            expected.insert(static_cast<int>(i));
        EXPECT_EQ(used, expected);
    }
    // Plain texts hold no placeholder that would show raw.
    for (auto it = L10n::table().begin(); it != L10n::table().end(); ++it) {
        if (formatted.count(it.key()) == 0) {
            EXPECT_FALSE(placeholder.match(it.value()).hasMatch()) << it.key().toStdString();
        }
    }
}

TEST(L10n, MissingKeyShowsTheKey) {
    EXPECT_EQ(L10n::text("no.such.key"), "no.such.key");
    EXPECT_EQ(L10n::sourceType("video"), "sourceType.video");
}

TEST(L10n, FormattedMembersPickTheirKey) {
    EXPECT_EQ(L10n::a11yTarvoOpen(1), L10n::text("a11y.tarvoOpenOne"));
    EXPECT_EQ(L10n::a11yTarvoOpen(0), L10n::fill(L10n::text("a11y.tarvoOpen"), {qint64(0)}));
    EXPECT_EQ(L10n::a11yTarvoOpen(2), L10n::fill(L10n::text("a11y.tarvoOpen"), {qint64(2)}));
    EXPECT_TRUE(L10n::a11yTarvoOpen(2).contains("2"));

    EXPECT_EQ(L10n::badgeFormat("Whatever", std::nullopt), "Whatever");
    EXPECT_EQ(L10n::badgeFormat("JPG", 2000),
              L10n::fill(L10n::text("badge.formatWithSize"), {QString("JPG"), qint64(2000)}));

    EXPECT_EQ(L10n::batchConfirm(3, "PNG", 1600),
              L10n::fill(L10n::text("batch.confirm"), {qint64(3), QString("PNG"), qint64(1600)}));
    EXPECT_EQ(L10n::batchConfirm(3, "PNG", std::nullopt),
              L10n::fill(L10n::text("batch.confirmNoResize"), {qint64(3), QString("PNG")}));
}

TEST(L10n, FillingIsOnePassOverThePattern) {
    struct Case {
        const char* pattern;
        std::vector<L10n::Argument> arguments;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"%1 into %2", {QString("a"), QString("b")}, "a into b"},
        {"%2 before %1", {QString("a"), QString("b")}, "b before a"},
        {"%1", {QString("%2")}, "%2"}, // an argument is never expanded again
        {"100%% of %1", {qint64(5)}, "100% of 5"},
        {"%1 and %3", {qint64(-7)}, "-7 and %3"}, // a missing argument stays visible
        {"ends with %", {}, "ends with %"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(L10n::fill(c.pattern, c.arguments), QString::fromUtf8(c.expected));
    }
}

TEST(L10n, LinksAreAddresses) {
    for (const QString& link : {TarvoLinks::website(), TarvoLinks::support(), TarvoLinks::privacy(),
                                TarvoLinks::appcast()}) {
        const QUrl url(link, QUrl::StrictMode);
        EXPECT_TRUE(url.isValid() && !url.scheme().isEmpty()) << link.toStdString();
    }
}
