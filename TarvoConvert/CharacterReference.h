#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// Character references of HTML text ("&amp;", "&#x20AC;", "&not" without its
// semicolon), as the text reader decodes them.
namespace tarvo::CharacterReference {

struct Decoded {
    char32_t scalar;
    std::size_t length; // source scalars consumed, the "&" included
};

// Decodes the reference that starts at `source[at]` (an "&"); nothing when the
// text there is no reference and the "&" stays as written.
std::optional<Decoded> decode(std::u32string_view source, std::size_t at);

// A numeric reference's value as a scalar: the Windows-1252 reading of
// 0x80-0x9F, U+FFFD for 0, surrogates and anything beyond U+10FFFF.
char32_t scalar(char32_t codePoint);

// The code point of an entity name (case-sensitive), if the table knows it.
std::optional<char32_t> character(std::u32string_view name);

} // namespace tarvo::CharacterReference
