#pragma once

#include <QString>

#include <optional>
#include <variant>

namespace tarvo {

// What a conversion produced: a file it wrote, a text to hand over, or the
// item's own stored file, unchanged and never copied.
struct ConversionResult {
    struct File {
        QString url;
        bool operator==(const File&) const = default;
    };
    struct Text {
        QString text;
        bool operator==(const Text&) const = default;
    };
    struct Original {
        QString url;
        bool operator==(const Original&) const = default;
    };

    std::variant<File, Text, Original> value;

    static ConversionResult file(QString url) { return {File{std::move(url)}}; }
    static ConversionResult text(QString text) { return {Text{std::move(text)}}; }
    static ConversionResult original(QString url) { return {Original{std::move(url)}}; }

    template <class Case> bool is() const { return std::holds_alternative<Case>(value); }
    template <class Case> const Case* as() const { return std::get_if<Case>(&value); }

    // The file of `file` and `original`; nothing for `text`.
    std::optional<QString> url() const {
        if (const auto* f = as<File>())
            return f->url;
        if (const auto* o = as<Original>())
            return o->url;
        return std::nullopt;
    }
    // True only for files this system wrote and may delete again on undo.
    bool isTarvoWritten() const { return is<File>(); }

    bool operator==(const ConversionResult&) const = default;
};

} // namespace tarvo
