#include "engine/fenc/vocabulary.hpp"

#include <array>
#include <cstddef>
#include <stdexcept>
#include <utility>

#include "engine/fenc/shape.hpp"

namespace corvane::fenc {
namespace {

// The names, members and callees of the expression language, one row each.
// Each row names the writer in src/tarvo_encoder/encode whose text uses it.
// Rows that are no callee leave the call columns at NotCallable. True and
// False are no words: the compiler reads them as the integers 1 and 0
// (expressions._int_text).
#define NOT_CALLABLE Arity::NotCallable, 0, 0, Argument::None, "", Value::Name

constexpr Word kVocabulary[] = {
    // owner, spelling, name, payload, arity, min, max, argument, argument error, result
    // x(i, j): variables.Variable.__getitem__ (an element of a declared variable)
    {Owner::Declarations, "", Name::Variable, 0, Arity::Declared, 0, 0, Argument::Int,
     "an index must be an integer", Value::Ref},
    // bx.and_s([...]), bx.impl_s(...), ...: the bx rows below
    {Owner::Free, "bx", Name::BxModule, 0, NOT_CALLABLE},
    // pb.Comparator_type.LEQ: expressions._comparison
    {Owner::Free, "pb", Name::PbModule, 0, NOT_CALLABLE},
    // FormulaPB(...).to_bx(manager), .to_maxsat(manager, ...): expressions._comparison, Expression.maxsat
    {Owner::Free, "manager", Name::Manager, 0, NOT_CALLABLE},
    // FormulaPB(sum, None, None): Expression.maxsat
    {Owner::Free, "None", Name::PyNone, 0, NOT_CALLABLE},
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
    {Owner::PbModule, "Comparator_type", Name::ComparatorType, 0, NOT_CALLABLE},
    {Owner::ComparatorType, "LEQ", Name::Comparator, 0, NOT_CALLABLE},
    {Owner::ComparatorType, "GEQ", Name::Comparator, 1, NOT_CALLABLE},
    {Owner::ComparatorType, "BOTH", Name::Comparator, 2, NOT_CALLABLE},
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

#undef NOT_CALLABLE

// The first row of each Name, so that a callee's row is found at once.
constexpr auto kRowOfName = [] {
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
constexpr auto kRowsOfOwner = [] {
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

}  // namespace

const Word* find_word(Owner owner, std::string_view spelling) {
    const auto [begin, end] = kRowsOfOwner[static_cast<std::size_t>(owner)];
    for (std::size_t k = begin; k < end; ++k) {
        if (kVocabulary[k].spelling == spelling) return &kVocabulary[k];
    }
    return nullptr;
}

const Word& word_of(Name name) { return kVocabulary[kRowOfName[static_cast<std::size_t>(name)]]; }

}  // namespace corvane::fenc
