#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::kernels {

// One member of a flat sum: name(indexes...).to_pb(), or
// coefficient * (name(indexes...).to_pb()) when scaled; in a chained sum,
// one written " - (" member ")" is subtracted.
struct FlatSumMember {
    std::size_t name = 0;  // position in FlatSumText::names
    bool scaled = false;
    bool subtracted = false;
    std::int64_t coefficient = 0;
    std::size_t first_index = 0;  // its indexes are indexes[first_index, first_index + index_count)
    std::size_t index_count = 0;
};

// A flat sum compared with a bound, or weighted as a soft objective, exactly
// as the operators write them:
//
//   FormulaPB(Sum(*[<member>, ...]), pb.Comparator_type.<comparator>, <bound>).to_bx(manager)
//   FormulaPB(<weight> * (Sum(*[<member>, ...])), None, None).to_maxsat(manager, <minimization>)
//
// with every index, coefficient, bound and weight a decimal int as Python
// reads it, and the minimization True, False, None or such an int. The sum
// may also be chained, as the operators write a sum of a few terms:
//
//   FormulaPB(<member> + <member> - (<member>) ..., pb.Comparator_type.<comparator>, <bound>).to_bx(manager)
//   FormulaPB(<weight> * (<member> + <member> ...), None, None).to_maxsat(manager, <minimization>)
struct FlatSumText {
    bool objective = false;
    std::vector<std::string> names;  // each variable name once, in order of first appearance
    std::vector<FlatSumMember> members;
    std::vector<std::int64_t> indexes;
    std::string comparator;  // comparison only
    std::int64_t bound = 0;
    std::int64_t weight = 0;    // objective only
    std::string minimization;   // its text
};

enum class SumShapes { listed, listed_or_chained };

// The text read as above, or nullopt for any other text, including one that
// Python would read otherwise (a keyword as a name) or refuse (an int with
// a leading zero, such as 07), and an int beyond 18 digits. A chained sum
// is read only when `shapes` names it.
std::optional<FlatSumText> read_flat_sum_text(std::string_view text, SumShapes shapes = SumShapes::listed);

}  // namespace tarvo::kernels
