#include "TarvoCore/DefaultRules.h"
#include "TarvoCore/RuleEngine.h"

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

using S = SourceType;
using C = AppCategory;

Rule makeRule(int tag, S type, Destination destination, Delivery deliver, double createdAt = 0,
              bool enabled = true) {
    Rule rule;
    rule.id = QUuid(static_cast<uint>(tag), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    rule.sourceType = type;
    rule.destination = std::move(destination);
    rule.deliver = std::move(deliver);
    rule.enabled = enabled;
    rule.createdAt = Date::fromSecondsSince1970(createdAt);
    return rule;
}

int tagOf(const std::optional<Rule>& rule) {
    return rule ? static_cast<int>(rule->id.data1) : 0;
}

ResolvedDestination at(std::optional<QString> bundleID, C category,
                       std::optional<bool> editorPane = std::nullopt) {
    return {std::move(bundleID), category, editorPane};
}

const Delivery png = Delivery::image({ImageFormat::png, std::nullopt, 0.85, true});
const Delivery jpeg = Delivery::image({ImageFormat::jpeg, 2000, 0.85, true});

const QUuid itemA = QUuid::fromString(QStringLiteral("{00000000-0000-4000-8000-00000000000a}"));
const QUuid itemB = QUuid::fromString(QStringLiteral("{00000000-0000-4000-8000-00000000000b}"));

} // namespace

TEST(RuleEngine, PicksTheMostSpecificThenTheNewestThenTheFirst) {
    struct Case {
        const char* name;
        std::vector<Rule> rules;
        S type;
        ResolvedDestination destination;
        int expected; // tag of the winning rule, 0 for none
    };
    const auto anywherePng = makeRule(1, S::images, Destination::anywhere(), png);
    const auto browserJpeg = makeRule(2, S::images, Destination::category(C::browser), jpeg);
    const auto safari = ResolvedDestination{"com.apple.Safari", C::browser, std::nullopt};
    const std::vector<Case> cases = {
        {"no rules", {}, S::images, safari, 0},
        {"only disabled",
         {makeRule(1, S::images, Destination::anywhere(), png, 0, false)},
         S::images,
         safari,
         0},
        {"category beats anywhere", {anywherePng, browserJpeg}, S::images, safari, 2},
        {"anywhere for a terminal",
         {anywherePng, browserJpeg},
         S::images,
         at("org.gnome.Terminal", C::terminalOrEditor),
         1},
        {"anywhere with no application", {anywherePng, browserJpeg}, S::images, {}, 1},
        {"app beats category",
         {browserJpeg, makeRule(3, S::images, Destination::app("com.apple.Safari"), png)},
         S::images,
         safari,
         3},
        {"app rule only for its app",
         {browserJpeg, makeRule(3, S::images, Destination::app("com.apple.Safari"), png)},
         S::images,
         at("com.google.Chrome", C::browser),
         2},
        {"app rule compares canonically",
         {makeRule(3, S::text, Destination::app("org.caf\u00e9"), png)},
         S::text,
         at("org.cafe\u0301", C::other),
         3},
        {"specific type beats any file",
         {makeRule(1, S::anyFile, Destination::category(C::browser), png),
          makeRule(2, S::images, Destination::category(C::browser), png)},
         S::images,
         safari,
         2},
        {"heic is an image", {anywherePng}, S::heic, safari, 1},
        {"pdf is any file",
         {makeRule(4, S::anyFile, Destination::anywhere(), png)},
         S::pdf,
         safari,
         4},
        {"text is no file",
         {makeRule(4, S::anyFile, Destination::anywhere(), png)},
         S::text,
         safari,
         0},
        {"an image rule for a heic item only, not the reverse",
         {makeRule(5, S::heic, Destination::anywhere(), png)},
         S::images,
         safari,
         0},
        {"newer of equals wins wherever it stands",
         {makeRule(1, S::images, Destination::anywhere(), png, 20),
          makeRule(2, S::images, Destination::anywhere(), png, 10)},
         S::images,
         safari,
         1},
        {"newer of equals wins when later in the list",
         {makeRule(1, S::images, Destination::anywhere(), png, 10),
          makeRule(2, S::images, Destination::anywhere(), png, 20)},
         S::images,
         safari,
         2},
        {"equal times keep list order",
         {makeRule(1, S::images, Destination::anywhere(), png, 10),
          makeRule(2, S::images, Destination::anywhere(), png, 10)},
         S::images,
         safari,
         1},
        {"no application matches no category, not even other",
         {makeRule(6, S::text, Destination::category(C::other), png)},
         S::text,
         {},
         0},
        {"an application of category other",
         {makeRule(6, S::text, Destination::category(C::other), png)},
         S::text,
         at("org.example.App", C::other),
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RuleEngine engine(c.rules, {});
        EXPECT_EQ(tagOf(engine.rule(c.type, c.destination, itemA)), c.expected);
    }
}

TEST(RuleEngine, DefaultRulesTieOnCreationTimeAndFallBackToListOrder) {
    RuleEngine engine(DefaultRules::all(), {});
    const auto editor = at("code", C::terminalOrEditor);
    // Rule 1 (images into editors) and rule 6 (any file into editors) differ in
    // specificity; rule 1 wins.
    EXPECT_EQ(engine.rule(S::images, editor, itemA)->id, DefaultRules::all()[0].id);
    EXPECT_EQ(engine.rule(S::pdf, editor, itemA)->id, DefaultRules::all()[5].id);
    EXPECT_EQ(engine.rule(S::url, at("org.gnome.Nautilus", C::finder), itemA)->id,
              DefaultRules::all()[4].id);
}

TEST(RuleEngine, RulesAreAskedThroughTheItemsContentType) {
    const std::vector<Rule> rules = {
        makeRule(1, S::images, Destination::anywhere(), png),
        makeRule(2, S::anyFile, Destination::anywhere(), png),
    };
    struct Case {
        ItemPayload payload;
        int expected;
    };
    const std::vector<Case> cases = {
        {ItemPayload::image("photo.heic"), 1},
        {ItemPayload::file("report.pdf"), 2},
        {ItemPayload::text("hello"), 0},
    };
    for (const Case& c : cases) {
        Item item;
        item.id = QUuid::createUuid();
        item.payload = c.payload;
        SCOPED_TRACE(json::write(c.payload.toJson()).toStdString());
        RuleEngine engine(rules, {});
        EXPECT_EQ(tagOf(engine.rule(item, "/nonexistent", at("firefox", C::browser))), c.expected);
    }
}

TEST(RuleEngine, EffectiveDeliveryTurnsPathIntoOriginalOffTheTextPane) {
    struct Case {
        const char* name;
        std::optional<Rule> rule;
        ResolvedDestination destination;
        Delivery expected;
    };
    const auto editorPath =
        makeRule(1, S::anyFile, Destination::category(C::terminalOrEditor), Delivery::path());
    const auto anywherePath = makeRule(2, S::anyFile, Destination::anywhere(), Delivery::path());
    const auto anywhereImage = makeRule(3, S::images, Destination::anywhere(), jpeg);
    const std::vector<Case> cases = {
        {"no rule", std::nullopt, at("code", C::terminalOrEditor), Delivery::original()},
        {"text pane", editorPath, at("code", C::terminalOrEditor, true), Delivery::path()},
        {"pane unknown", editorPath, at("code", C::terminalOrEditor), Delivery::path()},
        {"file list", editorPath, at("code", C::terminalOrEditor, false), Delivery::original()},
        {"anywhere onto a browser", anywherePath, at("firefox", C::browser, false),
         Delivery::path()},
        {"anywhere onto a terminal off its pane", anywherePath,
         at("org.gnome.Terminal", C::terminalOrEditor, false), Delivery::original()},
        {"other deliveries unchanged", anywhereImage, at("code", C::terminalOrEditor, false), jpeg},
    };
    const RuleEngine engine({}, {});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(engine.effectiveDelivery(c.rule, c.destination), c.expected);
    }
}

class RuleEngineCacheTest : public ::testing::Test {
protected:
    // Lookups after the rules were replaced without rulesChanged() show whether
    // the answer came from the cache (old rule) or was computed anew (new rule).
    const Rule oldRule = makeRule(1, S::images, Destination::anywhere(), png);
    const Rule newRule = makeRule(2, S::images, Destination::anywhere(), png);
    const ResolvedDestination firefox = at("firefox", C::browser);
    const ResolvedDestination chromium = at("chromium", C::browser);
    RuleEngine engine{{oldRule}, {}};

    int ask(const ResolvedDestination& d, const QUuid& item = itemA) {
        return tagOf(engine.rule(S::images, d, item));
    }
};

TEST_F(RuleEngineCacheTest, RemembersAnswersForOneDrag) {
    engine.beginDrag();
    EXPECT_EQ(ask(firefox), 1);
    engine.setRules({newRule});
    EXPECT_EQ(ask(firefox), 1);                          // hit
    EXPECT_EQ(ask(chromium), 2);                         // another application: miss
    EXPECT_EQ(ask(at("firefox", C::messaging)), 2);      // another category: miss
    EXPECT_EQ(ask(firefox, itemB), 2);                   // another item: miss
    EXPECT_EQ(ask(at("firefox", C::browser, false)), 1); // the pane is not in the key
    EXPECT_EQ(ask(firefox), 1);                          // back to the first: hit
}

TEST_F(RuleEngineCacheTest, RemembersThatNoRuleApplied) {
    engine.setRules({});
    engine.beginDrag();
    EXPECT_EQ(ask(firefox), 0);
    engine.setRules({newRule});
    EXPECT_EQ(ask(firefox), 0);
}

TEST_F(RuleEngineCacheTest, RulesChangedAndEndDragForget) {
    engine.beginDrag();
    ask(firefox);
    engine.setRules({newRule});
    engine.rulesChanged();
    EXPECT_EQ(ask(firefox), 2);

    engine.setRules({oldRule});
    engine.endDrag();
    EXPECT_EQ(ask(firefox), 1);
    engine.setRules({newRule});
    EXPECT_EQ(ask(firefox), 2); // idle: nothing cached

    engine.beginDrag(); // a new drag starts empty even after idle lookups
    EXPECT_EQ(ask(chromium), 2);
}

TEST_F(RuleEngineCacheTest, WithoutADragNothingIsRemembered) {
    EXPECT_EQ(ask(firefox), 1);
    engine.setRules({newRule});
    EXPECT_EQ(ask(firefox), 2);
    engine.beginDrag();
    engine.setRules({oldRule});
    EXPECT_EQ(ask(firefox), 1);
}
