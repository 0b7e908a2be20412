#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::fenc {

// Compiled expression text: postfix code for a small stack machine. Integer
// values (indexes, coefficients, bounds, loop values) live on an integer
// stack, pseudo-Boolean sums in a term buffer, and Boolean formulas are
// written as postfix shape tokens (see shape.hpp). Comprehensions run
// their own code blocks, so evaluating a nested text needs no recursion.
enum class Op : std::uint8_t {
    PushInt,       // value
    LoadSlot,      // a = slot
    LoadName,      // a = name id; only while compiling, resolved to LoadSlot
    Neg,
    Add,
    Sub,
    Mul,
    Pow,
    Range,         // a = argument count (1..3); pushes start, step, length and a range mark (values never built)
    Count,         // value = number of list items just pushed
    Distinct,      // pops an item count, sorts the items and drops repeats, pushes the new count
    Comprehension, // a = block; runs it, pushes the number of items it produced
    PbRef,         // a = declaration, b = index count; pops the indexes
    PbAdd,
    PbSub,
    PbScale,       // pops the factor, scales the latest sum
    PbSum,         // pops an item count, joins that many sums
    BoolRef,       // a = declaration, b = index count
    BoolConst,     // value 0 or 1
    BoolNot,
    BoolNary,      // a = ShapeToken of the connective; pops an item count
    BoolImpl,
    BoolIte,
    BoolCompare,   // a = comparator; pops the bound, takes the latest sum
};

struct Instr {
    Op op;
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    std::int64_t value = 0;
    std::uint32_t position = 0;  // in the source text, for errors at evaluation
};

using Code = std::vector<Instr>;

struct LoopClause {
    std::uint32_t slot;
    Code iterable;  // pushes the values, then their count; or a range (Op::Range)
};

struct ComprehensionBlock {
    std::vector<LoopClause> clauses;  // outermost first
    Code element;
};

// What the value of a whole text is.
enum class ValueKind : std::uint8_t { Boolean, PseudoBoolean };

struct Program {
    std::string text;  // the source, kept for messages
    Code main;
    std::vector<ComprehensionBlock> blocks;
    std::uint32_t slot_count = 0;  // foralls take slots 0 .. forall count - 1
    ValueKind kind = ValueKind::Boolean;
};

}  // namespace corvane::fenc
