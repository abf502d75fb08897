#include "TarvoCore/L10n.h"
#include "support/CopyStyle.h"

#include <gtest/gtest.h>

using namespace tarvo;
namespace CS = tarvo::test::CopyStyle;
using Kind = CS::Violation::Kind;

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::vector<Kind> kindsOf(const std::vector<CS::Violation>& violations) {
    std::vector<Kind> kinds;
    for (const CS::Violation& v : violations)
        kinds.push_back(v.kind);
    return kinds;
}

} // namespace

namespace tarvo::test::CopyStyle {
inline void PrintTo(const Violation::Kind& kind, std::ostream* os) {
    *os << kind.description().toStdString();
}
} // namespace tarvo::test::CopyStyle

TEST(CopyStyle, FindsEachKindOfViolationInOrder) {
    struct Case {
        const char* text;
        std::vector<Kind> expected;
    };
    const std::vector<Case> cases = {
        {"Awesome!", {Kind::bannedTerm("awesome"), Kind::exclamationMark()}},
        {"Lift off \xF0\x9F\x9A\x80", {Kind::emoji(u("\xF0\x9F\x9A\x80"))}},
        {"Lift off", {}},
        {"Effortlessly magical",
         {Kind::bannedTerm("magic"), Kind::bannedTerm("magical"), Kind::bannedTerm("effortless"),
          Kind::bannedTerm("effortlessly")}},
        {"Works seamlessly", {Kind::bannedTerm("seamless"), Kind::bannedTerm("seamlessly")}},
        {"OOPS, try again", {Kind::bannedTerm("oops")}},
        {"Unmagicked", {Kind::bannedTerm("magic")}},
        {"Supercharged!! \xE2\x9C\xA8",
         {Kind::bannedTerm("supercharge"), Kind::bannedTerm("supercharged"),
          Kind::exclamationMark(), Kind::emoji(u("\xE2\x9C\xA8"))}},
        // A joined family is three emoji; the joiners are none.
        {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7",
         {Kind::emoji(u("\xF0\x9F\x91\xA8")), Kind::emoji(u("\xF0\x9F\x91\xA9")),
          Kind::emoji(u("\xF0\x9F\x91\xA7"))}},
        // A heart with a variation selector: the heart counts, the selector not.
        {"Thanks \xE2\x9D\xA4\xEF\xB8\x8F", {Kind::emoji(u("\xE2\x9D\xA4"))}},
        {"Flag \xF0\x9F\x87\xAB\xF0\x9F\x87\xAE",
         {Kind::emoji(u("\xF0\x9F\x87\xAB")), Kind::emoji(u("\xF0\x9F\x87\xAE"))}},
        {"Keycap #\xEF\xB8\x8F\xE2\x83\xA3 and 1", {}},
        {"Tarvo\xE2\x84\xA2 by \xC2\xA9 and \xC2\xAE", {Kind::emoji(u("\xE2\x84\xA2"))}},
        {"\xC2\xA1Hola, \xEF\xBC\x81 and \xE2\x80\xA6", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::vector<CS::Violation> found = CS::violations("k", u(c.text));
        EXPECT_EQ(kindsOf(found), c.expected);
        for (const CS::Violation& v : found) {
            EXPECT_EQ(v.key, "k");
            EXPECT_EQ(v.value, u(c.text));
        }
    }
}

TEST(CopyStyle, TextsAreCheckedInOrderOfTheirKeys) {
    const QHash<QString, QString> texts = {
        {"b", "Oops"},
        {"a", "Wow!"},
        {"c", "Fine"},
        // U+FF21 sorts before U+1D400 by scalar, after it by UTF-16 code unit.
        {u("\xF0\x9D\x90\x80"), "Magic"},
        {u("\xEF\xBC\xA1"), "Awesome"},
    };
    const std::vector<CS::Violation> expected = {
        {"a", "Wow!", Kind::exclamationMark()},
        {"b", "Oops", Kind::bannedTerm("oops")},
        {u("\xEF\xBC\xA1"), "Awesome", Kind::bannedTerm("awesome")},
        {u("\xF0\x9D\x90\x80"), "Magic", Kind::bannedTerm("magic")},
    };
    EXPECT_EQ(CS::violations(texts), expected);
    EXPECT_TRUE(CS::violations(QHash<QString, QString>{}).empty());
}

TEST(CopyStyle, DescriptionsNameKeyTextAndKind) {
    struct Case {
        CS::Violation violation;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {{"k", "Pure magic", Kind::bannedTerm("magic")},
         "k = \"Pure magic\" \xE2\x80\x94 bannedTerm(\"magic\")"},
        {{"k", "Hi!", Kind::exclamationMark()}, "k = \"Hi!\" \xE2\x80\x94 exclamationMark"},
        {{"menu.x", "Go \xF0\x9F\x9A\x80", Kind::emoji(u("\xF0\x9F\x9A\x80"))},
         "menu.x = \"Go \xF0\x9F\x9A\x80\" \xE2\x80\x94 emoji(\"\xF0\x9F\x9A\x80\")"},
        {{"t", "Drop Files", Kind::titleCase("Files")},
         "t = \"Drop Files\" \xE2\x80\x94 titleCase(\"Files\")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.violation.description(), u(c.expected));
    }
}

TEST(CopyStyle, IsEmoji) {
    struct Case {
        char32_t scalar;
        bool expected;
    };
    const std::vector<Case> cases = {
        {U'#', false},   {U'1', false},   {U'*', false},   {U'a', false},     {0x00A9, false},
        {0x00AE, false}, {0x00E9, false}, {0x200D, false}, {0xFE0F, false},   {0x20E3, false},
        {0x2026, false}, {0x203C, true},  {0x2122, true},  {0x231A, true},    {0x2764, true},
        {0x1F680, true}, {0x1F1EB, true}, {0x1F3FB, true}, {0x10FFFF, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(c.scalar));
        EXPECT_EQ(CS::isEmoji(c.scalar), c.expected);
    }
}

TEST(CopyStyle, TitleCaseOffenders) {
    struct Case {
        const char* text;
        QStringList expected;
    };
    const std::vector<Case> cases = {
        {"Drop Files on the Shelf", {"Files", "Shelf"}},
        {"Open Quick Look", {}},
        {"Use (Finder).", {}},
        {"Settings", {}},
        {"", {}},
        {"Open settings", {}},
        {"Open Preferences", {"Preferences"}},
        {"Open System Settings", {}},
        {"Zoom 2x", {}},
        {"Save\nAs Copy", {"As", "Copy"}},
        {"Copy  \"Report\"", {"Report"}},
        {"Tab\tSeparated", {}},
        {"Show in Folder, Folder", {"Folder", "Folder"}},
        {"Needs MACOS", {"MACOS"}},
        {"Open macOS", {}},
        {"Convert to PNG or WebP", {}},
        {"Send \xE2\x80\xA6More\xE2\x80\xA6", {"More"}},
        {"\xC3\x9C"
         "ber \xC3\x84rger",
         {u("\xC3\x84rger")}},
        {"Open E\xCC\x81lan", {u("E\xCC\x81lan")}},
        {"Open \xC7\x85"
         "emal",
         {}},
        {"Read \xE6\x97\xA5\xE6\x9C\xAC", {}},
        {"Close ---", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CS::titleCaseOffenders(u(c.text)), c.expected);
        EXPECT_EQ(CS::isSentenceCase(u(c.text)), c.expected.isEmpty());
    }
}

TEST(CopyStyle, ShippedTableHasNoViolation) {
    const QHash<QString, QString>& table = L10n::table();
    ASSERT_FALSE(table.isEmpty());
    for (const CS::Violation& v : CS::violations(table))
        ADD_FAILURE() << v.description().toStdString();
}

TEST(CopyStyle, ShippedButtonTitlesAreSentenceCase) {
    const QStringList titles = L10n::allButtonTitles();
    ASSERT_EQ(titles.size(), 23);
    for (const QString& title : titles) {
        SCOPED_TRACE(title.toStdString());
        EXPECT_EQ(CS::titleCaseOffenders(title), QStringList{});
    }
}
