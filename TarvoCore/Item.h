#pragma once

#include "Date.h"
#include "Json.h"
#include "RuleModel.h"

#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>
#include <variant>

namespace tarvo {

// What an item holds. File-backed payloads name a file inside the item's folder.
struct ItemPayload {
    struct File {
        QString name;
        // Known when the item is made, so that nothing has to look at the disk
        // to tell a stored folder from a file without an extension. (No default
        // member initializer: it would make the payload's variant not
        // default-constructible; `File{name}` leaves it false.)
        bool isFolder;
        bool operator==(const File&) const = default;
    };
    struct Image {
        QString name;
        bool operator==(const Image&) const = default;
    };
    struct Text {
        QString text;
        bool operator==(const Text&) const = default;
    };
    struct RichText {
        QString rtfName;
        QString plain;
        bool operator==(const RichText&) const = default;
    };
    struct Url {
        QUrl url;
        std::optional<QString> title;
        bool operator==(const Url&) const = default;
    };

    std::variant<File, Image, Text, RichText, Url> value;

    static ItemPayload file(QString name, bool isFolder = false) {
        return {File{std::move(name), isFolder}};
    }
    static ItemPayload image(QString name) { return {Image{std::move(name)}}; }
    static ItemPayload text(QString text) { return {Text{std::move(text)}}; }
    static ItemPayload richText(QString rtfName, QString plain) {
        return {RichText{std::move(rtfName), std::move(plain)}};
    }
    static ItemPayload url(QUrl url, std::optional<QString> title = std::nullopt) {
        return {Url{std::move(url), std::move(title)}};
    }

    template <class Case> bool is() const { return std::holds_alternative<Case>(value); }
    template <class Case> const Case* as() const { return std::get_if<Case>(&value); }

    std::optional<QString> fileName() const;
    bool isFileBacked() const;
    bool isImage() const { return is<Image>(); }

    QJsonObject toJson() const;
    // Refuses a stored file name that is empty, ".", ".." or holds "/": such a
    // name would point outside the item's folder.
    static ItemPayload fromJson(const QJsonValue& value, const json::CodingPath& path = {});
    bool operator==(const ItemPayload&) const = default;
};

struct ItemState {
    struct Ready {
        bool operator==(const Ready&) const = default;
    };
    struct Receiving {
        std::optional<double> progress;
        bool operator==(const Receiving&) const = default;
    };
    struct Failed {
        QString reason;
        bool operator==(const Failed&) const = default;
    };

    std::variant<Ready, Receiving, Failed> value;

    static ItemState ready() { return {Ready{}}; }
    static ItemState receiving(std::optional<double> progress = std::nullopt) {
        return {Receiving{progress}};
    }
    static ItemState failed(QString reason) { return {Failed{std::move(reason)}}; }

    template <class Case> bool is() const { return std::holds_alternative<Case>(value); }
    bool isReady() const { return is<Ready>(); }

    QJsonObject toJson() const;
    static ItemState fromJson(const QJsonValue& value, const json::CodingPath& path = {});
    bool operator==(const ItemState&) const = default;
};

struct Item {
    QUuid id;
    ItemPayload payload;
    ItemState state;
    QString displayName;
    std::optional<QUrl> sourceURL;
    std::optional<QString> sourceBundleID;
    Date addedAt;
    QString contentHash;
    bool pinned = false;

    // containerRoot/ID/fileName for file-backed payloads; nothing on disk is read.
    std::optional<QString> payloadURL(const QString& containerRoot) const;
    // The content type rules match this item under, from its payload and file
    // name alone.
    SourceType sourceType(const QString& containerRoot) const;

    // The object stored as "item.json"; dates as seconds since 1970.
    QJsonObject toJson() const;
    static Item fromJson(const QJsonValue& value, const json::CodingPath& path = {});
    bool operator==(const Item&) const = default;
};

// The folder of one item inside the store's root.
QString itemFolder(const QString& containerRoot, const QUuid& id);

} // namespace tarvo
