#include "engine/fenc/text_error.hpp"

#include <cstdint>
#include <cstdio>

namespace corvane::fenc {
namespace {

// Characters shown on either side of the position, and of a quoted token.
constexpr std::size_t kShownCharacters = 40;

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void append_escape(std::string& out, const char* format, std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, static_cast<unsigned>(value));
    out += buffer;
}

// Byte offset `count` characters before `at` (or 0).
std::size_t characters_back(std::string_view text, std::size_t at, std::size_t count) {
    for (; count > 0 && at > 0; --count) {
        --at;
        while (at > 0 && is_continuation(static_cast<unsigned char>(text[at]))) --at;
    }
    return at;
}

// Byte offset `count` characters after `at` (or the end).
std::size_t characters_forward(std::string_view text, std::size_t at, std::size_t count) {
    for (; count > 0 && at < text.size(); --count) at += character_length(text, at);
    return at;
}

std::size_t character_index(std::string_view text, std::size_t at) {
    std::size_t index = 0;
    for (std::size_t k = 0; k < at; ++k) index += !is_continuation(static_cast<unsigned char>(text[k]));
    return index;
}

std::string describe(std::string_view text, std::size_t position, const std::string& what) {
    if (position > text.size()) position = text.size();
    // A position inside a character moves to its start.
    while (position > 0 && position < text.size() && is_continuation(static_cast<unsigned char>(text[position]))) {
        --position;
    }
    const std::size_t from = characters_back(text, position, kShownCharacters);
    const std::size_t to = characters_forward(text, position, kShownCharacters);
    std::string message = escaped(what) + " at position " + std::to_string(character_index(text, position)) + ": ";
    message += from > 0 ? "..." : "";
    message += escaped(text.substr(from, position - from));
    message += " <here> ";
    message += escaped(text.substr(position, to - position));
    message += to < text.size() ? "..." : "";
    return message;
}

}  // namespace

TextError::TextError(std::string_view text, std::size_t position, const std::string& what)
    : std::invalid_argument(describe(text, position, what)), position_(position), reason_(what) {}

std::uint32_t code_point(std::string_view text, std::size_t at, std::size_t length) {
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    std::uint32_t value = static_cast<unsigned char>(text[at]) & kLeadMask[length];
    for (std::size_t k = 1; k < length; ++k) value = (value << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    return value;
}

std::size_t character_length(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5                ? 4
                                                                            : 0;
    if (length == 0 || at + length > text.size()) return 1;
    for (std::size_t k = 1; k < length; ++k) {
        if (!is_continuation(static_cast<unsigned char>(text[at + k]))) return 1;
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are no UTF-8.
    const std::uint32_t value = code_point(text, at, length);
    if ((length == 3 && (value < 0x800 || (value >= 0xD800 && value < 0xE000))) ||
        (length == 4 && (value < 0x10000 || value > 0x10FFFF))) {
        return 1;
    }
    return length;
}

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = character_length(text, at);
        if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
        } else if (byte == '\n' || byte == '\t' || byte == '\r') {
            out += byte == '\n' ? "\\n" : byte == '\t' ? "\\t" : "\\r";
        } else if (length == 1) {  // a control character or a byte that starts no character
            append_escape(out, "\\x%02x", byte);
        } else {
            const std::uint32_t value = code_point(text, at, length);
            append_escape(out, value < 0x100 ? "\\x%02x" : value < 0x10000 ? "\\u%04x" : "\\U%08x", value);
        }
        at += length;
    }
    return out;
}

std::string quoted(std::string_view text) {
    const std::size_t end = characters_forward(text, 0, kShownCharacters);
    std::string out = "'";
    out += escaped(text.substr(0, end));
    out += end < text.size() ? "'..." : "'";
    return out;
}

}  // namespace corvane::fenc
