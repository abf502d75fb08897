#pragma once

#include "Date.h"
#include "Json.h"

#include <QString>
#include <QUuid>

#include <array>
#include <optional>
#include <variant>

// The vocabulary of rules: content types, application categories, where a rule
// applies, what it delivers, and the rule itself, with their JSON forms.
namespace tarvo {

enum class SourceType { images, heic, richText, url, anyFile, pdf, text };
inline constexpr std::array allSourceTypes = {
    SourceType::images,  SourceType::heic, SourceType::richText, SourceType::url,
    SourceType::anyFile, SourceType::pdf,  SourceType::text};

QString rawValue(SourceType type);
std::optional<SourceType> sourceTypeFromRawValue(const QString& raw);
// Whether a rule for `ruleType` applies to an item of `itemType`.
bool covers(SourceType ruleType, SourceType itemType);
bool isSpecific(SourceType type);
QString displayName(SourceType type);

enum class AppCategory { terminalOrEditor, browser, finder, messaging, design, other };
inline constexpr std::array allAppCategories = {
    AppCategory::terminalOrEditor, AppCategory::browser, AppCategory::finder,
    AppCategory::messaging,        AppCategory::design,  AppCategory::other};

QString rawValue(AppCategory category);
std::optional<AppCategory> appCategoryFromRawValue(const QString& raw);
QString displayName(AppCategory category);

enum class ImageFormat { jpeg, png };

QString rawValue(ImageFormat format);
std::optional<ImageFormat> imageFormatFromRawValue(const QString& raw);
QString fileExtension(ImageFormat format); // "jpg", "png"
QString badgeName(ImageFormat format);     // "JPG", "PNG"

// Raw-valued enumerations as JSON strings; an unknown value fails as corrupted data.
QJsonValue toJson(SourceType type);
QJsonValue toJson(AppCategory category);
QJsonValue toJson(ImageFormat format);
SourceType sourceTypeFromJson(const QJsonValue& value, const json::CodingPath& path = {});
AppCategory appCategoryFromJson(const QJsonValue& value, const json::CodingPath& path = {});
ImageFormat imageFormatFromJson(const QJsonValue& value, const json::CodingPath& path = {});

struct Destination {
    struct Category {
        AppCategory category;
        bool operator==(const Category&) const = default;
    };
    struct App {
        QString bundleID;
        bool operator==(const App&) const = default;
    };
    struct Anywhere {
        bool operator==(const Anywhere&) const = default;
    };

    std::variant<Category, App, Anywhere> value;

    static Destination category(AppCategory c) { return {Category{c}}; }
    static Destination app(QString bundleID) { return {App{std::move(bundleID)}}; }
    static Destination anywhere() { return {Anywhere{}}; }

    QString displayName() const;
    QJsonObject toJson() const;
    static Destination fromJson(const QJsonValue& value, const json::CodingPath& path = {});
    bool operator==(const Destination&) const = default;
};

struct ImageOptions {
    ImageFormat format = ImageFormat::jpeg;
    std::optional<qint64> maxPixels;
    double quality = 0.85;
    bool stripLocation = true;

    QJsonObject toJson() const;
    static ImageOptions fromJson(const QJsonValue& value, const json::CodingPath& path = {});
    bool operator==(const ImageOptions&) const = default;
};

struct Delivery {
    struct Original {
        bool operator==(const Original&) const = default;
    };
    struct Path {
        bool operator==(const Path&) const = default;
    };
    struct PlainText {
        bool operator==(const PlainText&) const = default;
    };
    struct Webloc {
        bool operator==(const Webloc&) const = default;
    };
    struct Image {
        ImageOptions options;
        bool operator==(const Image&) const = default;
    };
    struct Pdf {
        bool operator==(const Pdf&) const = default;
    };

    std::variant<Original, Path, PlainText, Webloc, Image, Pdf> value;

    static Delivery original() { return {Original{}}; }
    static Delivery path() { return {Path{}}; }
    static Delivery plainText() { return {PlainText{}}; }
    static Delivery webloc() { return {Webloc{}}; }
    static Delivery image(ImageOptions options) { return {Image{options}}; }
    static Delivery pdf() { return {Pdf{}}; }

    template <class Case> bool is() const { return std::holds_alternative<Case>(value); }
    const ImageOptions* imageOptions() const;

    QString badgeText() const;
    bool isConversion() const { return !is<Original>(); }
    QJsonObject toJson() const;
    static Delivery fromJson(const QJsonValue& value, const json::CodingPath& path = {});
    bool operator==(const Delivery&) const = default;
};

struct Rule {
    QUuid id;
    SourceType sourceType = SourceType::anyFile;
    Destination destination = Destination::anywhere();
    Delivery deliver = Delivery::original();
    std::optional<QString> rename;
    bool enabled = true;
    Date createdAt;

    // 1 (any file, anywhere) to 4 (a specific type into one application).
    int specificity() const;

    // "createdAt" as seconds since 1970, the date form of the rules file.
    QJsonObject toJson() const;
    static Rule fromJson(const QJsonValue& value, const json::CodingPath& path = {});
    bool operator==(const Rule&) const = default;
};

struct ResolvedDestination {
    std::optional<QString> bundleID;
    AppCategory category = AppCategory::other;
    std::optional<bool> isEditorPane;

    static ResolvedDestination unknown() { return {}; }
    bool isUnknown() const { return !bundleID.has_value(); }
    bool operator==(const ResolvedDestination&) const = default;
};

} // namespace tarvo
