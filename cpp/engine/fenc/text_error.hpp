#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace corvane::fenc {

// Text that the formula encoder cannot read. The message names the position
// where reading stopped and shows the text up to there, so a caller can see
// which part was refused.
class TextError : public std::invalid_argument {
public:
    TextError(std::string_view text, std::size_t position, const std::string& what);
    std::size_t position() const { return position_; }
    // The complaint alone, without position and text.
    const std::string& reason() const { return reason_; }

private:
    std::size_t position_;
    std::string reason_;
};

}  // namespace corvane::fenc
