#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "engine/fenc/shape.hpp"

namespace corvane::fenc {

// What an operand on the compiler's stack is. All but Name carry code.
enum class Value : std::uint8_t {
    Int,
    Pb,          // a pseudo-Boolean sum
    Bool,        // a Boolean formula
    Ref,         // a variable's element, until .to_pb() or .to_bx() says which
    List,        // a list, tuple or set
    Range,
    Starred,     // *list, only ever Sum's argument
    Comparison,  // FormulaPB(sum, comparator, bound), until .to_bx(manager)
    Objective,   // FormulaPB(sum, None, None)
    Name,        // no value: what it names is a Name
};

// What an operand that is no value names: a callee, a module, or a member
// that only makes sense as an argument or as the object of an attribute.
enum class Name : std::uint8_t {
    Variable,  // a declared variable; its elements are its calls
    BxModule,
    PbModule,
    ComparatorType,
    Comparator,
    Manager,
    PyNone,
    RangeFn,
    SetFn,
    SumFn,
    FormulaFn,
    BxAnd,
    BxOr,
    BxXor,
    BxEq,
    BxImpl,
    BxIte,
    BxOne,
    BxZero,
    RefToPb,
    RefToBx,
    ComparisonToBx,
    ObjectiveToMaxsat,  // the last: vocabulary.cpp counts the names by it
};

// Where a word is looked up: a free name, the declarations, or the
// attributes of an operand of that kind.
// (Objective is the last: vocabulary.cpp counts the owners by it.)
enum class Owner : std::uint8_t { Free, Declarations, BxModule, PbModule, ComparatorType, Ref, Comparison, Objective };

// How a call's argument count is checked, and how a wrong one is refused.
enum class Arity : std::uint8_t {
    NotCallable,
    Named,     // "<spelling> takes N argument(s), got M", at the call's '('
    BxNamed,   // "this bx function takes N arguments, got M", at the callee
    Span,      // "<spelling> takes 1 to 3 integers" for a count outside min..max, at the call's '('
    Declared,  // the variable's index count, checked after the arguments
    Refused,   // no call is taken (the compiler says why)
};

// What each argument of a call must be.
enum class Argument : std::uint8_t {
    None,       // takes no arguments
    Int,
    Bool,
    BoolList,   // a list of Boolean formulas (or an empty one)
    PbStarred,  // a starred list of sums (or an empty one)
    Manager,
    FormulaPB,  // sum, comparator and bound, or sum, None, None
};

struct Word {
    Owner owner;
    std::string_view spelling;  // as written in the text; "" for a declared variable
    Name name;                  // what the operand names after the word
    std::uint32_t payload;      // Comparator: kelpa::Comparator; BxAnd..BxEq: ShapeToken; BxOne/BxZero: 1/0
    // As a callee:
    Arity arity;
    std::uint8_t min_args, max_args;
    Argument argument;
    std::string_view argument_error;  // what a wrong argument is told
    Value result;
};

// The names, members and callees of the expression language, one row each.
// Each row names the writer in src/tarvo_encoder/encode whose text uses it.
// Rows that are no callee leave the call columns at NotCallable. True and
// False are no words: the compiler reads them as the integers 1 and 0
// (expressions._int_text).
#define CORVANE_FENC_NOT_CALLABLE Arity::NotCallable, 0, 0, Argument::None, "", Value::Name

inline constexpr Word kVocabulary[] = {
    // owner, spelling, name, payload, arity, min, max, argument, argument error, result
    // x(i, j): variables.Variable.__getitem__ (an element of a declared variable)
    {Owner::Declarations, "", Name::Variable, 0, Arity::Declared, 0, 0, Argument::Int,
     "an index must be an integer", Value::Ref},
    // bx.and_s([...]), bx.impl_s(...), ...: the bx rows below
    {Owner::Free, "bx", Name::BxModule, 0, CORVANE_FENC_NOT_CALLABLE},
    // pb.Comparator_type.LEQ: expressions._comparison
    {Owner::Free, "pb", Name::PbModule, 0, CORVANE_FENC_NOT_CALLABLE},
    // FormulaPB(...).to_bx(manager), .to_maxsat(manager, ...): expressions._comparison, Expression.maxsat
    {Owner::Free, "manager", Name::Manager, 0, CORVANE_FENC_NOT_CALLABLE},
    // FormulaPB(sum, None, None): Expression.maxsat
    {Owner::Free, "None", Name::PyNone, 0, CORVANE_FENC_NOT_CALLABLE},
    // FormulaPB(sum, pb.Comparator_type.X, bound): expressions._comparison; FormulaPB(sum, None, None): Expression.maxsat
    {Owner::Free, "FormulaPB", Name::FormulaFn, 0, Arity::Named, 3, 3, Argument::FormulaPB, "", Value::Comparison},
    // Sum(*[...]): expressions.Sum, SumIt, _chains (a + b + ...)
    {Owner::Free, "Sum", Name::SumFn, 0, Arity::Named, 1, 1, Argument::PbStarred,
     "Sum takes one starred list of pseudo-Boolean sums", Value::Pb},
    // for i in range(...): expressions._loop_values_text (a range over earlier loops' indexes)
    {Owner::Free, "range", Name::RangeFn, 0, Arity::Span, 1, 3, Argument::Int, "range takes integers", Value::Range},
    // for i in set(): expressions._loop_values_text (how an empty set prints)
    {Owner::Free, "set", Name::SetFn, 0, Arity::Named, 0, 0, Argument::None, "", Value::List},
    // expressions.And, AndIt, _chains (a & b & ...)
    {Owner::BxModule, "and_s", Name::BxAnd, kAnd, Arity::BxNamed, 1, 1, Argument::BoolList,
     "expected a list of Boolean formulas", Value::Bool},
    // expressions.Or, OrIt, _chains (a | b | ...)
    {Owner::BxModule, "or_s", Name::BxOr, kOr, Arity::BxNamed, 1, 1, Argument::BoolList,
     "expected a list of Boolean formulas", Value::Bool},
    // expressions.Xor, XorIt, _chains (a ^ b ^ ...)
    {Owner::BxModule, "xor_s", Name::BxXor, kXor, Arity::BxNamed, 1, 1, Argument::BoolList,
     "expected a list of Boolean formulas", Value::Bool},
    // expressions.Equiv
    {Owner::BxModule, "eq_s", Name::BxEq, kEq, Arity::BxNamed, 1, 1, Argument::BoolList,
     "expected a list of Boolean formulas", Value::Bool},
    // expressions.Implication
    {Owner::BxModule, "impl_s", Name::BxImpl, 0, Arity::BxNamed, 2, 2, Argument::Bool, "expected a Boolean formula",
     Value::Bool},
    // expressions.IfThenElse
    {Owner::BxModule, "ite_s", Name::BxIte, 0, Arity::BxNamed, 3, 3, Argument::Bool, "expected a Boolean formula",
     Value::Bool},
    // expressions.One
    {Owner::BxModule, "one", Name::BxOne, 1, Arity::BxNamed, 0, 0, Argument::None, "", Value::Bool},
    // expressions.Zero
    {Owner::BxModule, "zero", Name::BxZero, 0, Arity::BxNamed, 0, 0, Argument::None, "", Value::Bool},
    // pb.Comparator_type.LEQ, GEQ, BOTH: expressions._comparison
    {Owner::PbModule, "Comparator_type", Name::ComparatorType, 0, CORVANE_FENC_NOT_CALLABLE},
    {Owner::ComparatorType, "LEQ", Name::Comparator, 0, CORVANE_FENC_NOT_CALLABLE},
    {Owner::ComparatorType, "GEQ", Name::Comparator, 1, CORVANE_FENC_NOT_CALLABLE},
    {Owner::ComparatorType, "BOTH", Name::Comparator, 2, CORVANE_FENC_NOT_CALLABLE},
    // x(i).to_pb(): expressions._term_text
    {Owner::Ref, "to_pb", Name::RefToPb, 0, Arity::Named, 0, 0, Argument::None, "", Value::Pb},
    // x(i).to_bx(): expressions._expr2bx
    {Owner::Ref, "to_bx", Name::RefToBx, 0, Arity::Named, 0, 0, Argument::None, "", Value::Bool},
    // FormulaPB(...).to_bx(manager): expressions._comparison
    {Owner::Comparison, "to_bx", Name::ComparisonToBx, 0, Arity::Named, 1, 1, Argument::Manager, "to_bx takes manager",
     Value::Bool},
    // FormulaPB(sum, None, None).to_maxsat(manager, ...): Expression.maxsat, which no constraint or sum holds
    {Owner::Objective, "to_maxsat", Name::ObjectiveToMaxsat, 0, Arity::Refused, 0, 0, Argument::None, "", Value::Name},
};

#undef CORVANE_FENC_NOT_CALLABLE

// The first row of each Name, so that a callee's row is found at once.
inline constexpr auto kRowOfName = [] {
    constexpr std::size_t kNames = static_cast<std::size_t>(Name::ObjectiveToMaxsat) + 1;
    std::array<std::size_t, kNames> rows{};
    std::array<bool, kNames> found{};
    for (std::size_t k = 0; k < std::size(kVocabulary); ++k) {
        const auto name = static_cast<std::size_t>(kVocabulary[k].name);
        if (!found[name]) rows[name] = k;
        found[name] = true;
    }
    for (bool f : found) {
        if (!f) throw std::logic_error("a Name without a row in the vocabulary");  // fails the build
    }
    return rows;
}();

// The rows of each owner, [begin, end): the table keeps them together, so
// that a look-up reads only the words it can match.
inline constexpr auto kRowsOfOwner = [] {
    constexpr std::size_t kOwners = static_cast<std::size_t>(Owner::Objective) + 1;
    std::array<std::pair<std::size_t, std::size_t>, kOwners> rows{};
    for (std::size_t k = 0; k < std::size(kVocabulary); ++k) {
        auto& [begin, end] = rows[static_cast<std::size_t>(kVocabulary[k].owner)];
        if (begin == end) {
            begin = k;
        } else if (end != k) {
            throw std::logic_error("the rows of an owner are not together");  // fails the build
        }
        end = k + 1;
    }
    return rows;
}();

// The row of a word of that owner and spelling, or nullptr. Inline, so that
// a look-up of a known owner compares with the owner's words only.
inline const Word* find_word(Owner owner, std::string_view spelling) {
    const auto [begin, end] = kRowsOfOwner[static_cast<std::size_t>(owner)];
    for (std::size_t k = begin; k < end; ++k) {
        if (kVocabulary[k].spelling == spelling) return &kVocabulary[k];
    }
    return nullptr;
}

// The row of what an operand names.
inline const Word& word_of(Name name) { return kVocabulary[kRowOfName[static_cast<std::size_t>(name)]]; }

}  // namespace corvane::fenc
