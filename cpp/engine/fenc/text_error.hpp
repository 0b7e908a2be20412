#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace corvane::fenc {

// Text that the formula encoder cannot read. The message names the position
// (in characters) where reading stopped and shows the text around it, so a
// caller can see which part was refused.
class TextError : public std::invalid_argument {
public:
    // `position` is a byte offset into `text`.
    TextError(std::string_view text, std::size_t position, const std::string& what);
    std::size_t position() const { return position_; }
    // The complaint alone, without position and text.
    const std::string& reason() const { return reason_; }

private:
    std::size_t position_;
    std::string reason_;
};

// Caller text as a message shows it: printable ASCII as it is, every other
// character escaped as Python's ascii() writes it (\x00, \n, \xe9, \u20ac,
// \U0001f600) and bytes that are no UTF-8 as \xNN. A message is then plain
// ASCII: no NUL cuts it short and no cut character makes it undecodable.
std::string escaped(std::string_view text);

// A name or token of the caller's text quoted in a message: escaped, and cut
// after a few dozen characters so that a huge token does not fill it.
std::string quoted(std::string_view text);

// Byte length of the UTF-8 character that starts at `text[at]` (1 for a
// byte that starts none).
std::size_t character_length(std::string_view text, std::size_t at);

// The code point of the well-formed UTF-8 character of `length` bytes (as
// character_length gives it) at `text[at]`.
std::uint32_t code_point(std::string_view text, std::size_t at, std::size_t length);

}  // namespace corvane::fenc
