#include "Item.h"

#include "UniformType.h"

namespace tarvo {

namespace {

// Text after the last dot of the last path component, lower-cased.
QString lowerExtension(const QString& name) {
    const QString last = name.section(u'/', -1);
    const qsizetype dot = last.lastIndexOf(u'.');
    return dot < 0 ? QString() : last.mid(dot + 1).toLower();
}

QString storedName(const json::ObjectReader& r, const QString& key) {
    const QString name = r.string(key);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(u'/'))
        throw json::DecodingError::dataCorrupted(
            r.pathTo(key), QStringLiteral("The stored file name \"%1\" is not a name inside the "
                                          "item's folder.")
                               .arg(name));
    return name;
}

} // namespace

QString itemFolder(const QString& containerRoot, const QUuid& id) {
    QString root = containerRoot;
    if (!root.endsWith(u'/'))
        root += u'/';
    return root + json::uuidText(id);
}

// ItemPayload

std::optional<QString> ItemPayload::fileName() const {
    if (const auto* f = as<File>())
        return f->name;
    if (const auto* i = as<Image>())
        return i->name;
    if (const auto* r = as<RichText>())
        return r->rtfName;
    return std::nullopt;
}

bool ItemPayload::isFileBacked() const {
    return is<File>() || is<Image>() || is<RichText>();
}

QJsonObject ItemPayload::toJson() const {
    if (const auto* f = as<File>()) {
        QJsonObject values{{QStringLiteral("name"), f->name}};
        // Written only for folders: a file's record stays as it always was.
        if (f->isFolder)
            values.insert(QStringLiteral("isFolder"), true);
        return json::encodeCase(QStringLiteral("file"), values);
    }
    if (const auto* i = as<Image>())
        return json::encodeCase(QStringLiteral("image"), {{QStringLiteral("name"), i->name}});
    if (const auto* t = as<Text>())
        return json::encodeCase(QStringLiteral("text"), {{QStringLiteral("_0"), t->text}});
    if (const auto* r = as<RichText>())
        return json::encodeCase(
            QStringLiteral("richText"),
            {{QStringLiteral("plain"), r->plain}, {QStringLiteral("rtfName"), r->rtfName}});
    const auto& u = std::get<Url>(value);
    QJsonObject values{{QStringLiteral("_0"), json::urlText(u.url)}};
    if (u.title)
        values.insert(QStringLiteral("title"), *u.title);
    return json::encodeCase(QStringLiteral("url"), values);
}

ItemPayload ItemPayload::fromJson(const QJsonValue& value, const json::CodingPath& path) {
    const auto decoded =
        json::decodeCase(value, path, {"file", "image", "text", "richText", "url"});
    const json::ObjectReader r(decoded.values, decoded.path);
    switch (decoded.index) {
    case 0: {
        const std::optional<QJsonValue> folder = r.optionalValue(QStringLiteral("isFolder"));
        return file(storedName(r, QStringLiteral("name")),
                    folder && r.boolean(QStringLiteral("isFolder")));
    }
    case 1:
        return image(storedName(r, QStringLiteral("name")));
    case 2:
        return text(r.string(QStringLiteral("_0")));
    case 3:
        return richText(storedName(r, QStringLiteral("rtfName")),
                        r.string(QStringLiteral("plain")));
    default:
        return url(r.url(QStringLiteral("_0")), r.optionalString(QStringLiteral("title")));
    }
}

// ItemState

QJsonObject ItemState::toJson() const {
    if (const auto* r = std::get_if<Receiving>(&value)) {
        QJsonObject values;
        if (r->progress)
            values.insert(QStringLiteral("progress"), *r->progress);
        return json::encodeCase(QStringLiteral("receiving"), values);
    }
    if (const auto* f = std::get_if<Failed>(&value))
        return json::encodeCase(QStringLiteral("failed"), {{QStringLiteral("reason"), f->reason}});
    return json::encodeCase(QStringLiteral("ready"));
}

ItemState ItemState::fromJson(const QJsonValue& value, const json::CodingPath& path) {
    const auto decoded = json::decodeCase(value, path, {"ready", "receiving", "failed"});
    const json::ObjectReader r(decoded.values, decoded.path);
    switch (decoded.index) {
    case 0:
        return ready();
    case 1:
        return receiving(r.optionalNumber(QStringLiteral("progress")));
    default:
        return failed(r.string(QStringLiteral("reason")));
    }
}

// Item

std::optional<QString> Item::payloadURL(const QString& containerRoot) const {
    const auto name = payload.fileName();
    if (!name)
        return std::nullopt;
    return itemFolder(containerRoot, id) + u'/' + *name;
}

SourceType Item::sourceType(const QString& /*containerRoot*/) const {
    if (payload.is<ItemPayload::Text>())
        return SourceType::text;
    if (payload.is<ItemPayload::RichText>())
        return SourceType::richText;
    if (payload.is<ItemPayload::Url>())
        return SourceType::url;

    const QString ext = lowerExtension(*payload.fileName());
    const bool heicExtension = ext == QLatin1String("heic") || ext == QLatin1String("heif");
    if (payload.is<ItemPayload::Image>())
        return heicExtension ? SourceType::heic : SourceType::images;

    if (ext == QLatin1String("pdf"))
        return SourceType::pdf;
    const auto type = UniformType::forFilenameExtension(ext);
    if (!type)
        return SourceType::anyFile;
    if (heicExtension || UniformType::conformsToHeic(*type))
        return SourceType::heic;
    if (UniformType::conformsToImage(*type))
        return SourceType::images;
    if (UniformType::conformsToPdf(*type))
        return SourceType::pdf;
    return SourceType::anyFile;
}

QJsonObject Item::toJson() const {
    QJsonObject o{{QStringLiteral("addedAt"), addedAt.secondsSince1970()},
                  {QStringLiteral("contentHash"), contentHash},
                  {QStringLiteral("displayName"), displayName},
                  {QStringLiteral("id"), json::uuidText(id)},
                  {QStringLiteral("payload"), payload.toJson()},
                  {QStringLiteral("pinned"), pinned},
                  {QStringLiteral("state"), state.toJson()}};
    if (sourceBundleID)
        o.insert(QStringLiteral("sourceBundleID"), *sourceBundleID);
    if (sourceURL)
        o.insert(QStringLiteral("sourceURL"), json::urlText(*sourceURL));
    return o;
}

Item Item::fromJson(const QJsonValue& value, const json::CodingPath& path) {
    const json::ObjectReader r(value, path);
    Item item;
    item.id = r.uuid(QStringLiteral("id"));
    item.payload = ItemPayload::fromJson(r.value(QStringLiteral("payload")), r.pathTo("payload"));
    item.state = ItemState::fromJson(r.value(QStringLiteral("state")), r.pathTo("state"));
    item.displayName = r.string(QStringLiteral("displayName"));
    item.sourceURL = r.optionalUrl(QStringLiteral("sourceURL"));
    item.sourceBundleID = r.optionalString(QStringLiteral("sourceBundleID"));
    item.addedAt = r.dateSince1970(QStringLiteral("addedAt"));
    item.contentHash = r.string(QStringLiteral("contentHash"));
    item.pinned = r.boolean(QStringLiteral("pinned"));
    return item;
}

} // namespace tarvo
