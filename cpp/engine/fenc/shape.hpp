#pragma once

#include <cstdint>

namespace corvane::fenc {

// Tokens of a Boolean formula in postfix form, one instance with its
// variables renumbered 1, 2, ... in order of first appearance. Two
// instances with equal token sequences have the same clauses up to the
// renaming, so the sequence is the key under which an encoding is reused.
//   Literal c              variable c (c >= 1)
//   One / Zero
//   Not                    negates the latest formula
//   And n, Or n, Xor n, Eq n   joins the latest n formulas
//   Impl, Ite              premise, conclusion / condition, then, else
//   Compare cmp bound n (weight, c) x n    a pseudo-Boolean comparison
enum ShapeToken : std::int64_t {
    kLiteral = 1,
    kOne,
    kZero,
    kNot,
    kAnd,
    kOr,
    kXor,
    kEq,
    kImpl,
    kIte,
    kCompare,
};

}  // namespace corvane::fenc
