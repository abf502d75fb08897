#include "RuleModel.h"

#include "L10n.h"

namespace tarvo {

namespace {

constexpr std::array<const char*, 7> sourceTypeRaw = {"images",  "heic", "richText", "url",
                                                      "anyFile", "pdf",  "text"};
constexpr std::array<const char*, 6> categoryRaw = {"terminalOrEditor", "browser", "finder",
                                                    "messaging",        "design",  "other"};
constexpr std::array<const char*, 2> formatRaw = {"jpeg", "png"};

template <class Enum, size_t N>
std::optional<Enum> fromRaw(const std::array<const char*, N>& names, const QString& raw) {
    for (size_t i = 0; i < N; ++i) {
        if (raw == QLatin1String(names[i]))
            return static_cast<Enum>(i);
    }
    return std::nullopt;
}

template <class Enum, size_t N>
Enum fromJsonRaw(const std::array<const char*, N>& names, const char* typeName,
                 const QJsonValue& value, const json::CodingPath& path) {
    const QString raw = json::readString(value, path);
    if (const auto e = fromRaw<Enum>(names, raw))
        return *e;
    throw json::DecodingError::dataCorrupted(
        path, QStringLiteral("Cannot initialize %1 from invalid String value %2")
                  .arg(QLatin1String(typeName), raw));
}

} // namespace

QString rawValue(SourceType type) {
    return QLatin1String(sourceTypeRaw[static_cast<size_t>(type)]);
}

std::optional<SourceType> sourceTypeFromRawValue(const QString& raw) {
    return fromRaw<SourceType>(sourceTypeRaw, raw);
}

bool covers(SourceType ruleType, SourceType itemType) {
    if (ruleType == itemType)
        return true;
    switch (ruleType) {
    case SourceType::images:
        return itemType == SourceType::heic;
    case SourceType::anyFile:
        return itemType == SourceType::images || itemType == SourceType::heic ||
               itemType == SourceType::pdf;
    default:
        return false;
    }
}

bool isSpecific(SourceType type) {
    return type != SourceType::anyFile;
}

QString displayName(SourceType type) {
    return L10n::sourceType(rawValue(type));
}

QString rawValue(AppCategory category) {
    return QLatin1String(categoryRaw[static_cast<size_t>(category)]);
}

std::optional<AppCategory> appCategoryFromRawValue(const QString& raw) {
    return fromRaw<AppCategory>(categoryRaw, raw);
}

QString displayName(AppCategory category) {
    return L10n::category(rawValue(category));
}

QString rawValue(ImageFormat format) {
    return QLatin1String(formatRaw[static_cast<size_t>(format)]);
}

std::optional<ImageFormat> imageFormatFromRawValue(const QString& raw) {
    return fromRaw<ImageFormat>(formatRaw, raw);
}

QString fileExtension(ImageFormat format) {
    return format == ImageFormat::jpeg ? QStringLiteral("jpg") : QStringLiteral("png");
}

QString badgeName(ImageFormat format) {
    return format == ImageFormat::jpeg ? QStringLiteral("JPG") : QStringLiteral("PNG");
}

QJsonValue toJson(SourceType type) {
    return rawValue(type);
}
QJsonValue toJson(AppCategory category) {
    return rawValue(category);
}
QJsonValue toJson(ImageFormat format) {
    return rawValue(format);
}

SourceType sourceTypeFromJson(const QJsonValue& value, const json::CodingPath& path) {
    return fromJsonRaw<SourceType>(sourceTypeRaw, "SourceType", value, path);
}

AppCategory appCategoryFromJson(const QJsonValue& value, const json::CodingPath& path) {
    return fromJsonRaw<AppCategory>(categoryRaw, "AppCategory", value, path);
}

ImageFormat imageFormatFromJson(const QJsonValue& value, const json::CodingPath& path) {
    return fromJsonRaw<ImageFormat>(formatRaw, "ImageFormat", value, path);
}

// Destination

QString Destination::displayName() const {
    if (const auto* c = std::get_if<Category>(&value))
        return tarvo::displayName(c->category);
    if (const auto* a = std::get_if<App>(&value))
        return a->bundleID;
    return L10n::destinationAnywhere();
}

QJsonObject Destination::toJson() const {
    if (const auto* c = std::get_if<Category>(&value))
        return json::encodeCase(QStringLiteral("category"),
                                {{QStringLiteral("_0"), tarvo::toJson(c->category)}});
    if (const auto* a = std::get_if<App>(&value))
        return json::encodeCase(QStringLiteral("app"), {{QStringLiteral("_0"), a->bundleID}});
    return json::encodeCase(QStringLiteral("anywhere"));
}

Destination Destination::fromJson(const QJsonValue& value, const json::CodingPath& path) {
    const auto decoded = json::decodeCase(value, path, {"category", "app", "anywhere"});
    switch (decoded.index) {
    case 0: {
        const json::ObjectReader r(decoded.values, decoded.path);
        return category(appCategoryFromJson(r.value(QStringLiteral("_0")), r.pathTo("_0")));
    }
    case 1: {
        const json::ObjectReader r(decoded.values, decoded.path);
        return app(r.string(QStringLiteral("_0")));
    }
    default:
        return anywhere();
    }
}

// ImageOptions

QJsonObject ImageOptions::toJson() const {
    QJsonObject o{{QStringLiteral("format"), tarvo::toJson(format)},
                  {QStringLiteral("quality"), quality},
                  {QStringLiteral("stripLocation"), stripLocation}};
    if (maxPixels)
        o.insert(QStringLiteral("maxPixels"), *maxPixels);
    return o;
}

ImageOptions ImageOptions::fromJson(const QJsonValue& value, const json::CodingPath& path) {
    const json::ObjectReader r(value, path);
    ImageOptions o;
    o.format = imageFormatFromJson(r.value(QStringLiteral("format")), r.pathTo("format"));
    o.maxPixels = r.optionalInteger(QStringLiteral("maxPixels"));
    o.quality = r.number(QStringLiteral("quality"));
    o.stripLocation = r.boolean(QStringLiteral("stripLocation"));
    return o;
}

// Delivery

namespace {
constexpr std::initializer_list<const char*> deliveryCases = {"original", "path",  "plainText",
                                                              "webloc",   "image", "pdf"};
}

const ImageOptions* Delivery::imageOptions() const {
    const auto* i = std::get_if<Image>(&value);
    return i ? &i->options : nullptr;
}

QString Delivery::badgeText() const {
    switch (value.index()) {
    case 0:
        return L10n::badgeOriginal();
    case 1:
        return L10n::badgePath();
    case 2:
        return L10n::badgePlainText();
    case 3:
        return L10n::badgeWebloc();
    case 4: {
        const ImageOptions& o = std::get<Image>(value).options;
        return L10n::badgeFormat(badgeName(o.format), o.maxPixels);
    }
    default:
        return L10n::badgePDF();
    }
}

QJsonObject Delivery::toJson() const {
    const QString name = QLatin1String(*(deliveryCases.begin() + value.index()));
    if (const auto* i = std::get_if<Image>(&value))
        return json::encodeCase(name, {{QStringLiteral("_0"), i->options.toJson()}});
    return json::encodeCase(name);
}

Delivery Delivery::fromJson(const QJsonValue& value, const json::CodingPath& path) {
    const auto decoded = json::decodeCase(value, path, deliveryCases);
    switch (decoded.index) {
    case 0:
        return original();
    case 1:
        return Delivery::path();
    case 2:
        return plainText();
    case 3:
        return webloc();
    case 4: {
        const json::ObjectReader r(decoded.values, decoded.path);
        return image(ImageOptions::fromJson(r.value(QStringLiteral("_0")), r.pathTo("_0")));
    }
    default:
        return pdf();
    }
}

// Rule

int Rule::specificity() const {
    int weight = 1;
    if (std::holds_alternative<Destination::App>(destination.value))
        weight = 3;
    else if (std::holds_alternative<Destination::Category>(destination.value))
        weight = 2;
    return weight + (isSpecific(sourceType) ? 1 : 0);
}

QJsonObject Rule::toJson() const {
    QJsonObject o{{QStringLiteral("id"), json::uuidText(id)},
                  {QStringLiteral("sourceType"), tarvo::toJson(sourceType)},
                  {QStringLiteral("destination"), destination.toJson()},
                  {QStringLiteral("deliver"), deliver.toJson()},
                  {QStringLiteral("enabled"), enabled},
                  {QStringLiteral("createdAt"), createdAt.secondsSince1970()}};
    if (rename)
        o.insert(QStringLiteral("rename"), *rename);
    return o;
}

Rule Rule::fromJson(const QJsonValue& value, const json::CodingPath& path) {
    const json::ObjectReader r(value, path);
    Rule rule;
    rule.id = r.uuid(QStringLiteral("id"));
    rule.sourceType =
        sourceTypeFromJson(r.value(QStringLiteral("sourceType")), r.pathTo("sourceType"));
    rule.destination =
        Destination::fromJson(r.value(QStringLiteral("destination")), r.pathTo("destination"));
    rule.deliver = Delivery::fromJson(r.value(QStringLiteral("deliver")), r.pathTo("deliver"));
    rule.rename = r.optionalString(QStringLiteral("rename"));
    rule.enabled = r.boolean(QStringLiteral("enabled"));
    rule.createdAt = r.dateSince1970(QStringLiteral("createdAt"));
    return rule;
}

} // namespace tarvo
