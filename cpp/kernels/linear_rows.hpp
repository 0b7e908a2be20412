#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

// The rows that the text linear model's formula text evaluates to, read in
// one pass instead of parsed, checked, compiled and evaluated by the host.
//
// The text is what the expression operators and the sum combinators write:
// numbers, element references name(subscripts), +, -, *, unary + and -,
// parentheses, and CompiledSum([e, e, ...]) or CompiledSum([e for k in
// values ...]); the for clauses of the model's foralls come apart. Each
// step computes what the compiled expressions' arithmetic computes for it,
// in the same order and with the same number types (a 64-bit int or a
// float, as the host's int and float arithmetic yield them), so the rows
// are the evaluation's rows value for value. Whatever the reader is not sure
// of (a product of two expressions, a name no clause binds, an element out
// of its block, an int past 64 bits, a float that is not finite, any other
// syntax) refuses the whole text: the checked evaluation reads it and
// reports its faults.
namespace tarvo::kernels {

// A number as the host computes with it: an int (within 64 bits) or a float.
struct LinearNumber {
    bool integral = true;
    std::int64_t integer = 0;
    double real = 0.0;

    static LinearNumber of_int(std::int64_t value) { return {true, value, 0.0}; }
    static LinearNumber of_real(double value) { return {false, 0, value}; }
    double as_real() const { return integral ? static_cast<double>(integer) : real; }
    bool is_zero() const { return integral ? integer == 0 : real == 0.0; }
};

// A variable block: its first solver column, and the size and stride of each dimension.
struct LinearBlock {
    std::int64_t first = 0;
    std::vector<std::int64_t> sizes;
    std::vector<std::int64_t> strides;
};

// The block of a variable name, or nullptr for a name that is not a variable.
using BlockLookup = std::function<const LinearBlock*(std::string_view name)>;

// One row per combination of the foralls' values, in their order: its
// constant, and its entries (ascending columns, zero entries as the
// arithmetic leaves them) in columns[ends[r - 1], ends[r]).
struct LinearRows {
    std::vector<LinearNumber> constants;
    std::vector<std::size_t> ends;
    std::vector<std::int64_t> columns;
    std::vector<LinearNumber> values;
    // One more than the largest column of any element met, 0 without one:
    // the height of the evaluation's coefficient column.
    std::int64_t height = 0;
};

// The rows of `text` over the for clauses `fors` ("for k in range(0, 3) for
// j in [0, 2]", or empty for one row), or nullopt when the reader leaves
// the text to the checked evaluation.
std::optional<LinearRows> read_linear_rows(std::string_view text, std::string_view fors, const BlockLookup& blocks);

}  // namespace tarvo::kernels
