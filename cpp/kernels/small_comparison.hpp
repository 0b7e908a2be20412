#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/core/wcnf_storage.hpp"
#include "engine/dravo/clause_conjunction.hpp"
#include "engine/kelpa/kelpa.hpp"
#include "kernels/flat_sum_text.hpp"
#include "kernels/numbered_template.hpp"
#include "kernels/template_compiler.hpp"

namespace tarvo::kernels {

// Above this many members the encoding mostly needs aux variables, and a
// failed attempt would repeat too much of the evaluation road's work.
inline constexpr std::size_t kMaxSmallComparisonMembers = 32;

// What decides a comparison's encoding: the members' weights in text order,
// the comparator, the bound, the encoder's settings (every field of
// kelpa's PBConfig) and the first member's number. The elements only name
// its variables.
struct ComparisonShape {
    std::vector<std::int64_t> weights;
    corvane::kelpa::Comparator comparator = corvane::kelpa::Comparator::LEQ;
    std::int64_t bound = 0;
    corvane::kelpa::EncoderType encoder = corvane::kelpa::EncoderType::BEST;
    std::int64_t max_clauses = 0;
    std::int64_t first = 0;

    bool operator==(const ComparisonShape&) const = default;
};

struct ComparisonShapeHash {
    std::size_t operator()(const ComparisonShape& shape) const;
};

// Reads the text that the operators write for a constraint that is one
// comparison of a sum of int multiples of declared elements with an int
// bound (a comparison that read_flat_sum_text reads, listed or chained),
// and gives what the container records for it, without evaluating the
// text: the clause form that the evaluation road makes of the encoder's
// clauses, and instance 0 of it expanded into a storage. The members are
// numbered as the model's manager numbers them, in text order from a copy of
// its number allocator, and encoded with its config.
//
// A text is taken only where that road is sure to store just this: every
// member a declared element other than number 0, no element twice, at most
// kMaxSmallComparisonMembers members, a comparator of the encoder, an
// encoding without aux variables that the clause form takes as it is and
// that is no constant (the evaluation road warns or refuses there). For any
// other text, and for one the encoder refuses, encode() gives nullopt with
// the storage untouched. A model writes many comparisons of one shape, so
// the clause form of each shape met (or that it has none) is kept, up to
// kMaxShapesKept shapes.
class SmallComparisonReader {
public:
    static constexpr std::size_t kMaxShapesKept = 4096;

    explicit SmallComparisonReader(DeclaredVariables variables) : variables_(std::move(variables)) {}

    std::optional<NumberedTemplate> encode(std::string_view text, const corvane::kelpa::PBConfig& config,
                                           const corvane::kelpa::AuxVarManager& numbers,
                                           corvane::WcnfStorage& storage);

private:
    std::optional<std::vector<std::int64_t>> element_numbers(const FlatSumText& read) const;
    const std::optional<corvane::dravo::NumberedClauses>& clause_form(const FlatSumText& read,
                                                                       const corvane::kelpa::PBConfig& config,
                                                                       const corvane::kelpa::AuxVarManager& numbers);

    DeclaredVariables variables_;
    std::unordered_map<ComparisonShape, std::optional<corvane::dravo::NumberedClauses>, ComparisonShapeHash> shapes_;
};

}  // namespace tarvo::kernels
