#include "kernels/text_chain.hpp"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace tarvo::kernels {

namespace {

// The deepest level of brackets in the texts read one after the other.
std::int64_t nesting_of(std::initializer_list<std::string_view> texts) {
    std::int64_t deepest = 0;
    std::int64_t depth = 0;
    for (const std::string_view text : texts) {
        for (const char c : text) {
            if (c == '(' || c == '[' || c == '{') {
                deepest = std::max(deepest, ++depth);
            } else if (c == ')' || c == ']' || c == '}') {
                --depth;
            }
        }
    }
    return deepest;
}

std::int64_t opening_brackets(std::string_view text) {
    return std::count_if(text.begin(), text.end(), [](char c) { return c == '(' || c == '['; });
}

}  // namespace

std::int64_t bracket_nesting(std::string_view text) { return nesting_of({text}); }

std::int64_t operand_nesting_bound(std::string_view text, std::string_view suffix) {
    const std::int64_t brackets = opening_brackets(text) + opening_brackets(suffix);
    return brackets <= 8 ? brackets : nesting_of({text, suffix});
}

TextChain::TextChain(Link previous, char op, std::string_view text, std::string_view suffix, bool negated,
                     std::int64_t size)
    : previous_(std::move(previous)), op_(op), negated_(negated) {
    operand_.reserve(text.size() + suffix.size());
    operand_ += text;
    operand_ += suffix;
    if (!previous_) {
        count_ = 1;
        size_ = size;
    } else {
        count_ = previous_->count_ + 1;
        // Past the limits the text is flat whatever the exact size, so a
        // sum's total may stop at max_size.
        size_ = op == '+' ? std::min(previous_->size_, max_size - size) + size : std::max(size, previous_->size_);
    }
}

TextChain::~TextChain() {
    Link link = std::move(previous_);
    while (link && link.use_count() == 1) {
        Link before = std::move(link->previous_);
        link = std::move(before);
    }
}

bool TextChain::written_flat() const {
    if (is_sum()) return size_ > sum_terms_limit;
    return 2 * (count_ - 1) + size_ > nesting_limit;
}

namespace {

std::string_view opening(char op) {
    switch (op) {
        case '&': return "bx.and_s([";
        case '|': return "bx.or_s([";
        default: return "bx.xor_s([";
    }
}

}  // namespace

// Written from the last link back to the first, into a text sized beforehand:
// no list of the links is needed.
std::string TextChain::text() const {
    const bool flat = written_flat();
    const bool sum = is_sum();
    // What stands between the operands: before each later operand and after it.
    const auto before = [&](const TextChain& link) -> std::string_view {
        if (sum) return link.negated_ ? (flat ? ", -1 * (" : " - (") : (flat ? ", " : " + ");
        return ", ";
    };
    const auto after = [&](const TextChain& link) -> std::string_view {
        if (sum) return link.negated_ ? ")" : "";
        return flat ? "" : "])";
    };
    const std::string_view open = sum ? "Sum(*[" : opening(op_);
    const std::string_view close = flat ? "])" : "";
    std::size_t size = close.size();
    const TextChain* first = this;
    for (; first->previous_; first = first->previous_.get()) {
        size += before(*first).size() + first->operand_.size() + after(*first).size();
    }
    const std::size_t openings = flat ? 1 : sum ? 0 : static_cast<std::size_t>(count_ - 1);
    size += first->operand_.size() + openings * open.size();

    std::string text(size, '\0');
    std::size_t end = size;
    const auto put_back = [&](std::string_view piece) {
        end -= piece.size();
        piece.copy(text.data() + end, piece.size());
    };
    put_back(close);
    for (const TextChain* link = this; link != first; link = link->previous_.get()) {
        put_back(after(*link));
        put_back(link->operand_);
        put_back(before(*link));
    }
    put_back(first->operand_);
    for (std::size_t i = 0; i < openings; ++i) put_back(open);
    return text;
}

}  // namespace tarvo::kernels
