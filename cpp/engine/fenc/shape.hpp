#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "engine/fenc/weighted_var.hpp"

namespace corvane::fenc {

// A Boolean formula in postfix form, one instance with its variables
// renumbered 1, 2, ... in order of first appearance. Two instances with
// equal token sequences have the same clauses up to the renaming, so the
// sequence is the key under which an encoding is reused. ShapeWriter and
// ShapeReader are the only code that knows how the nodes are laid out.
enum ShapeToken : std::int64_t {
    kLiteral = 1,  // a shape variable
    kOne,
    kZero,
    kNot,          // negates the latest formula
    kAnd,          // kAnd .. kEq join the latest n formulas
    kOr,
    kXor,
    kEq,
    kImpl,         // premise, conclusion
    kIte,          // condition, then, else
    kCompare,      // a pseudo-Boolean comparison; joins no formula
};

using Shape = std::vector<std::int64_t>;

// Appends nodes to a shape.
class ShapeWriter {
public:
    void clear() { shape_.clear(); }
    const Shape& shape() const { return shape_; }

    void literal(std::int64_t variable) { shape_.insert(shape_.end(), {kLiteral, variable}); }
    void constant(bool value) { shape_.push_back(value ? kOne : kZero); }
    void negation() { shape_.push_back(kNot); }
    // kAnd, kOr, kXor or kEq over the latest `operands` formulas.
    void connective(ShapeToken token, std::int64_t operands) { shape_.insert(shape_.end(), {token, operands}); }
    void implication() { shape_.push_back(kImpl); }
    void if_then_else() { shape_.push_back(kIte); }
    // comparator: a kelpa::Comparator's value.
    void comparison(std::int64_t comparator, std::int64_t bound, std::span<const WeightedVar> terms) {
        shape_.insert(shape_.end(), {kCompare, comparator, bound, static_cast<std::int64_t>(terms.size())});
        for (const WeightedVar& t : terms) shape_.insert(shape_.end(), {t.weight, t.var});
    }

private:
    // Literal: kLiteral, variable. Connective: token, n. Comparison: kCompare,
    // comparator, bound, n, then (weight, variable) n times. Others: the token.
    Shape shape_;
};

// One node of a shape, as ShapeReader gives it.
struct ShapeNode {
    ShapeToken token = kLiteral;
    std::size_t operands = 0;      // formulas it joins, taken from the latest ones
    std::int64_t variable = 0;     // kLiteral
    std::int64_t comparator = 0;   // kCompare: a kelpa::Comparator's value
    std::int64_t bound = 0;        // kCompare
    std::span<const std::int64_t> term_fields;  // kCompare: weight, variable per term

    std::size_t term_count() const { return term_fields.size() / 2; }
    WeightedVar term(std::size_t k) const { return {term_fields[2 * k + 1], term_fields[2 * k]}; }
};

// Reads a shape's nodes in order. Throws std::logic_error for a token that
// starts no node.
class ShapeReader {
public:
    explicit ShapeReader(std::span<const std::int64_t> shape) : shape_(shape) {}

    bool done() const { return pos_ == shape_.size(); }

    ShapeNode next() {
        ShapeNode node;
        node.token = static_cast<ShapeToken>(shape_[pos_++]);
        switch (node.token) {
            case kLiteral: node.variable = shape_[pos_++]; break;
            case kOne:
            case kZero: break;
            case kNot: node.operands = 1; break;
            case kAnd:
            case kOr:
            case kXor:
            case kEq: node.operands = static_cast<std::size_t>(shape_[pos_++]); break;
            case kImpl: node.operands = 2; break;
            case kIte: node.operands = 3; break;
            case kCompare: {
                node.comparator = shape_[pos_++];
                node.bound = shape_[pos_++];
                const auto fields = 2 * static_cast<std::size_t>(shape_[pos_++]);
                node.term_fields = shape_.subspan(pos_, fields);
                pos_ += fields;
                break;
            }
            default: throw std::logic_error("corrupt formula shape");
        }
        return node;
    }

private:
    std::span<const std::int64_t> shape_;
    std::size_t pos_ = 0;
};

}  // namespace corvane::fenc
