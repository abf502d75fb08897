#pragma once

#include <QByteArray>

#include <optional>

// Strict decoding through the C library's character-set converters.
namespace tarvo::Iconv {

// Whether the C library knows the character set `name`.
bool knows(const QByteArray& name);

// `bytes` in `charset` as UTF-8, or nothing when the charset is unknown or any
// byte sequence is invalid or incomplete in it.
std::optional<QByteArray> toUtf8(const QByteArray& bytes, const QByteArray& charset);

} // namespace tarvo::Iconv
