#include "TarvoCore/L10n.h"
#include "TarvoCore/RuleModel.h"

#include <gtest/gtest.h>

using namespace tarvo;
using json::DecodingError;

TEST(SourceType, CoversItsOwnTypeAndTheListedOthers) {
    using S = SourceType;
    const std::vector<std::pair<S, std::vector<S>>> covered = {
        {S::images, {S::images, S::heic}},
        {S::heic, {S::heic}},
        {S::richText, {S::richText}},
        {S::url, {S::url}},
        {S::anyFile, {S::anyFile, S::images, S::heic, S::pdf}},
        {S::pdf, {S::pdf}},
        {S::text, {S::text}},
    };
    for (const auto& [rule, items] : covered) {
        for (S item : allSourceTypes) {
            SCOPED_TRACE((rawValue(rule) + " covers " + rawValue(item)).toStdString());
            const bool expected = std::find(items.begin(), items.end(), item) != items.end();
            EXPECT_EQ(covers(rule, item), expected);
        }
    }
}

TEST(SourceType, RawValuesAreExact) {
    EXPECT_EQ(sourceTypeFromRawValue("richText"), SourceType::richText);
    EXPECT_EQ(sourceTypeFromRawValue("RichText"), std::nullopt);
    EXPECT_EQ(appCategoryFromRawValue("terminalOrEditor"), AppCategory::terminalOrEditor);
    EXPECT_EQ(appCategoryFromRawValue("Browser"), std::nullopt);
    EXPECT_EQ(imageFormatFromRawValue("png"), ImageFormat::png);
    EXPECT_TRUE(isSpecific(SourceType::pdf));
    EXPECT_FALSE(isSpecific(SourceType::anyFile));
}

TEST(Rule, SpecificityIsDestinationWeightPlusSpecificType) {
    struct Case {
        SourceType type;
        Destination destination;
        int specificity;
    };
    const std::vector<Case> cases = {
        {SourceType::anyFile, Destination::anywhere(), 1},
        {SourceType::text, Destination::anywhere(), 2},
        {SourceType::images, Destination::category(AppCategory::browser), 3},
        {SourceType::anyFile, Destination::app("org.gnome.Nautilus"), 3},
        {SourceType::text, Destination::app("org.gnome.Nautilus"), 4},
    };
    for (const Case& c : cases) {
        Rule rule;
        rule.sourceType = c.type;
        rule.destination = c.destination;
        SCOPED_TRACE(json::write(rule.destination.toJson()).toStdString());
        EXPECT_EQ(rule.specificity(), c.specificity);
    }
}

TEST(Delivery, BadgeTextsAndConversions) {
    const ImageOptions pngAnySize{ImageFormat::png, std::nullopt, 0.3, false};
    const ImageOptions jpeg2000{ImageFormat::jpeg, 2000, 0.85, true};
    EXPECT_EQ(Delivery::image(pngAnySize).badgeText(), "PNG");
    EXPECT_EQ(Delivery::image(jpeg2000).badgeText(), L10n::badgeFormat("JPG", 2000));
    EXPECT_EQ(Delivery::original().badgeText(), L10n::text("badge.original"));
    EXPECT_EQ(Delivery::pdf().badgeText(), L10n::text("badge.pdf"));
    EXPECT_EQ(Delivery::webloc().badgeText(), L10n::text("badge.webloc"));

    EXPECT_FALSE(Delivery::original().isConversion());
    for (const Delivery& d : {Delivery::path(), Delivery::plainText(), Delivery::webloc(),
                              Delivery::pdf(), Delivery::image(pngAnySize)})
        EXPECT_TRUE(d.isConversion());
    EXPECT_NE(Delivery::image(pngAnySize), Delivery::image(jpeg2000));
    EXPECT_EQ(fileExtension(ImageFormat::jpeg), "jpg");
}

TEST(Destination, DisplayNames) {
    EXPECT_EQ(Destination::app("firefox").displayName(), "firefox");
    EXPECT_EQ(Destination::anywhere().displayName(), L10n::destinationAnywhere());
    EXPECT_EQ(Destination::category(AppCategory::browser).displayName(),
              L10n::text("category.browser"));
}

TEST(RuleJson, DestinationAndDeliveryObjects) {
    struct Case {
        const char* json;
        std::optional<Destination> expected; // absent: must fail
        const char* error;
    };
    const std::vector<Case> cases = {
        {R"({"anywhere":{}})", Destination::anywhere(), nullptr},
        {R"({"anywhere":{"x":1}})", Destination::anywhere(), nullptr},
        {R"({"anywhere":true})", std::nullopt, nullptr},
        {R"({})", std::nullopt, "Invalid number of keys found, expected one."},
        {R"({"app":{"_0":"com.apple.Safari"},"anywhere":{}})", std::nullopt,
         "Invalid number of keys found, expected one."},
        {R"({"app":{"_0":"com.apple.Safari"},"note":1})", Destination::app("com.apple.Safari"),
         nullptr},
        {R"({"category":{"_0":"browser"}})", Destination::category(AppCategory::browser), nullptr},
        {R"({"category":{"_0":"Browser"}})", std::nullopt,
         "Cannot initialize AppCategory from invalid String value Browser"},
        {R"({"app":{}})", std::nullopt, "No value associated with key \"_0\"."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            const Destination d = Destination::fromJson(json::parse(c.json));
            ASSERT_TRUE(c.expected.has_value()) << "decoded but should fail";
            EXPECT_EQ(d, *c.expected);
        } catch (const DecodingError& e) {
            EXPECT_FALSE(c.expected.has_value()) << e.what();
            if (c.error) {
                EXPECT_EQ(e.description(), QString::fromUtf8(c.error));
            }
        }
    }
}

TEST(RuleJson, WritesThePinnedForms) {
    const Delivery image = Delivery::image({ImageFormat::jpeg, 2000, 0.85, true});
    EXPECT_EQ(
        json::write(image.toJson()),
        R"({"image":{"_0":{"format":"jpeg","maxPixels":2000,"quality":0.85,"stripLocation":true}}})");
    EXPECT_EQ(json::write(Delivery::original().toJson()), R"({"original":{}})");
    EXPECT_EQ(json::write(Destination::category(AppCategory::browser).toJson()),
              R"({"category":{"_0":"browser"}})");
    EXPECT_EQ(Delivery::fromJson(image.toJson()), image);
    for (const Delivery& d : {Delivery::original(), Delivery::path(), Delivery::plainText(),
                              Delivery::webloc(), Delivery::pdf()})
        EXPECT_EQ(Delivery::fromJson(d.toJson()), d);
}

TEST(RuleJson, ImageOptionsLimitIsOptionalQualityIsNot) {
    const auto noLimit = ImageOptions::fromJson(
        json::parse(R"({"format":"png","quality":1,"stripLocation":false})"));
    EXPECT_EQ(noLimit.maxPixels, std::nullopt);
    const auto nullLimit = ImageOptions::fromJson(
        json::parse(R"({"format":"png","maxPixels":null,"quality":1,"stripLocation":false})"));
    EXPECT_EQ(nullLimit.maxPixels, std::nullopt);
    EXPECT_THROW(ImageOptions::fromJson(json::parse(R"({"format":"png","stripLocation":false})")),
                 DecodingError);
}

TEST(RuleJson, RuleRoundTripsAndRenameIsOptional) {
    Rule rule;
    rule.id = QUuid::fromString(QStringLiteral("6f9619ff-8b86-d011-b42d-00c04fc964ff"));
    rule.sourceType = SourceType::images;
    rule.destination = Destination::category(AppCategory::messaging);
    rule.deliver = Delivery::image({ImageFormat::jpeg, 1600, 0.8, true});
    rule.enabled = false;
    rule.createdAt = Date::fromSecondsSince1970(1700000000.5);

    EXPECT_EQ(
        json::write(rule.toJson()),
        R"({"createdAt":1700000000.5,"deliver":{"image":{"_0":{"format":"jpeg","maxPixels":1600,"quality":0.8,"stripLocation":true}}},"destination":{"category":{"_0":"messaging"}},"enabled":false,"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","sourceType":"images"})");
    EXPECT_EQ(Rule::fromJson(rule.toJson()), rule);

    QJsonObject withNull = rule.toJson();
    withNull.insert("rename", QJsonValue());
    EXPECT_EQ(Rule::fromJson(withNull).rename, std::nullopt);

    rule.rename = "{name}-{n}";
    EXPECT_EQ(Rule::fromJson(rule.toJson()), rule);

    QJsonObject noEnabled = rule.toJson();
    noEnabled.remove("enabled");
    EXPECT_THROW(Rule::fromJson(noEnabled), DecodingError);
}

TEST(ResolvedDestination, UnknownMeansNoApplication) {
    EXPECT_TRUE(ResolvedDestination::unknown().isUnknown());
    EXPECT_EQ(ResolvedDestination::unknown().category, AppCategory::other);
    EXPECT_FALSE((ResolvedDestination{"firefox", AppCategory::other, std::nullopt}.isUnknown()));
    EXPECT_TRUE((ResolvedDestination{std::nullopt, AppCategory::browser, true}.isUnknown()));
}
