#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Texts of chains of one operator, grown on the left: e = e + x[k], e = e & x[k].
//
// Each step adds one link that points to the chain before it, so building a
// chain of n operands costs O(n) and its text is written once, when it is
// first read. A chain keeps the text that the operators have always written
// (x(0).to_pb() + x(1).to_pb() - (x(2).to_pb()), bx.and_s([bx.and_s([a, b]),
// c])) while Python's parser reads that text with room to spare; a longer one
// is written flat, with the same meaning: Sum(*[a, b, -1 * (c)]) for a sum,
// one bx.and_s([a, b, c]) for a conjunction, as SumIt and AndIt write them.
// (and_s, or_s and xor_s flatten nested operands of their own kind, so the
// flat call builds the formula that the nested calls build.)
namespace tarvo::kernels {

// Terms of a sum written as a + b - (c) ...: Python's compiler recurses once
// per term and gives up near 3,000.
inline constexpr std::int64_t sum_terms_limit = 1000;
// Parentheses and brackets around an operand of a nested Boolean chain:
// Python's parser refuses more than 200 levels in all, so half of them are
// left for whatever the chain is put into.
inline constexpr std::int64_t nesting_limit = 100;

// The deepest level of parentheses, brackets and braces in the text.
std::int64_t bracket_nesting(std::string_view text);

// A bound on the nesting of an operand's text, `text` followed by `suffix`:
// exact for a text with many brackets, their count (which no nesting
// exceeds) for a small one.
std::int64_t operand_nesting_bound(std::string_view text, std::string_view suffix = {});

// One operand of a chain and the chain before it. `op` is '+' (a sum; each
// later operand is added or, when `negated`, subtracted) or one of '&', '|',
// '^'. `size` decides between the two texts: for a sum, the terms that the
// nested text has at its top level; for a Boolean chain, a bound on the
// deepest nesting of its operands, from 0 to max_size.
class TextChain {
public:
    using Link = std::shared_ptr<const TextChain>;

    // Far beyond any count of terms or brackets, and low enough that a sum's
    // running total, kept at most this, and twice the links plus it never
    // overflow.
    static constexpr std::int64_t max_size = std::int64_t{1} << 62;

    // The operand's text is `text` followed by `suffix`.
    TextChain(Link previous, char op, std::string_view text, std::string_view suffix, bool negated, std::int64_t size);
    ~TextChain();
    TextChain(const TextChain&) = delete;
    TextChain& operator=(const TextChain&) = delete;

    static bool is_operator(char op) { return op == '+' || op == '&' || op == '|' || op == '^'; }

    char op() const { return op_; }
    bool is_sum() const { return op_ == '+'; }
    bool written_flat() const;
    // Top-level terms that this sum adds to a sum it is an operand of.
    std::int64_t terms() const { return written_flat() ? 1 : size_; }
    // The deepest nesting in this Boolean chain's text.
    std::int64_t nesting() const { return (written_flat() ? 2 : 2 * (count_ - 1)) + size_; }
    std::string text() const;

private:
    // Mutable so that the destructor can unlink a long chain one link at a
    // time instead of recursing once per link.
    mutable Link previous_;
    char op_;
    bool negated_;
    std::string operand_;
    std::int64_t count_;
    std::int64_t size_;
};

}  // namespace tarvo::kernels
