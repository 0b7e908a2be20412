#include "engine/fenc/text_error.hpp"

#include <algorithm>

namespace corvane::fenc {
namespace {

constexpr std::size_t kShownContext = 40;

std::string describe(std::string_view text, std::size_t position, const std::string& what) {
    if (position > text.size()) position = text.size();
    const std::size_t from = position > kShownContext ? position - kShownContext : 0;
    const std::size_t to = std::min(text.size(), position + kShownContext);
    std::string message = what + " at position " + std::to_string(position) + ": ";
    message += from > 0 ? "..." : "";
    message += text.substr(from, position - from);
    message += " <here> ";
    message += text.substr(position, to - position);
    message += to < text.size() ? "..." : "";
    return message;
}

}  // namespace

TextError::TextError(std::string_view text, std::size_t position, const std::string& what)
    : std::invalid_argument(describe(text, position, what)), position_(position), reason_(what) {}

}  // namespace corvane::fenc
