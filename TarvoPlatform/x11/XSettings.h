#pragma once

#include <QByteArray>
#include <QHash>

#include <optional>
#include <variant>

namespace tarvo::XSettings {

struct Color {
    quint16 red = 0;
    quint16 green = 0;
    quint16 blue = 0;
    quint16 alpha = 0;
    bool operator==(const Color&) const = default;
};

using Value = std::variant<qint32, QByteArray, Color>;

// The settings a settings manager publishes in the `_XSETTINGS_SETTINGS`
// property of the owner of `_XSETTINGS_S<screen>`, by name. None when the
// data is cut short or malformed; unknown kinds of setting end the reading.
std::optional<QHash<QByteArray, Value>> parse(const QByteArray& data);

// The same settings written out, little-endian, for tests and tools.
QByteArray serialize(const QHash<QByteArray, Value>& settings);

} // namespace tarvo::XSettings
