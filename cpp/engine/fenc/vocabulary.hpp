#pragma once

#include <cstdint>
#include <string_view>

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

// The row of a word of that owner and spelling, or nullptr.
const Word* find_word(Owner owner, std::string_view spelling);

// The row of what an operand names.
const Word& word_of(Name name);

}  // namespace corvane::fenc
