#pragma once

#include <cstddef>
#include <string_view>

namespace corvane::fenc {

// Byte length of the identifier character at `text[at]`, or 0 when the
// character there cannot stand in a name (at its start when `first`). The
// characters are Python's: ASCII letters, '_', digits after the first, and
// the non-ASCII characters the host admits in identifiers, so the encoder
// reads every name that container mode evaluates, such as "café".
std::size_t identifier_char_length(std::string_view text, std::size_t at, bool first);

// Byte length of the name (identifier) that starts at `text[at]`, 0 when
// none does.
std::size_t identifier_length(std::string_view text, std::size_t at);

// True for a non-empty text made of identifier characters only.
bool is_identifier(std::string_view text);

}  // namespace corvane::fenc
