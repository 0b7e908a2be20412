#pragma once

#include <cstdint>
#include <optional>
#include <string>
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

// The road is for small comparisons: its check for a repeated element is
// quadratic, and the large encodings kept by shape would crowd out the small
// ones. Longer sums go the evaluation road, whose flat-sum reader serves them.
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

// What the container records for a small comparison: the clause form that
// the evaluation road makes of the encoder's clauses (its aux variables named
// as that road names them), how many aux variables it has, and for one
// without aux variables whether instance 0 is already in the storage.
struct SmallComparisonEncoding {
    NumberedTemplate form;
    std::int64_t aux_count = 0;
    bool expanded = false;
};

// One term of a small soft sum: its element's flat number and reference
// text, and its coefficient times the soft constraint's weight.
struct SoftTerm {
    std::int64_t element = 0;
    std::string reference;
    std::int64_t weight = 0;
};

// Reads the text that the operators write for a constraint that is one
// comparison of a sum of int multiples of declared elements with an int
// bound (a comparison that read_flat_sum_text reads, listed or chained),
// and gives what the container records for it, without evaluating the
// text. The members are numbered as the model's manager numbers them, in
// text order from a copy of its number allocator, encoded with its config,
// and their aux variables named aux_prefix + "_" + index from its aux index
// on. An encoding without aux variables is expanded (instance 0) into the
// storage at once; one with aux variables is left to the container's
// expansion, which numbers them.
//
// A text is taken only where that road is sure to record just this: every
// member a declared element other than number 0, no element twice, at most
// kMaxSmallComparisonMembers members, a comparator of the encoder, an
// encoding that the clause form takes as it is and that is no constant (the
// evaluation road warns or refuses there). For any other text, and for one
// the encoder refuses, encode() gives nullopt with the storage untouched. A
// model writes many comparisons of one shape, so the encoding of each shape
// met (or that it has none) is kept, up to kMaxShapesKept shapes and
// kMaxLiteralsKept literals.
class SmallComparisonReader {
public:
    static constexpr std::size_t kMaxShapesKept = 4096;
    static constexpr std::size_t kMaxLiteralsKept = std::size_t{1} << 20;

    SmallComparisonReader(DeclaredVariables variables, std::string aux_prefix)
        : variables_(std::move(variables)), aux_prefix_(std::move(aux_prefix)) {}

    std::optional<SmallComparisonEncoding> encode(std::string_view text, const corvane::kelpa::PBConfig& config,
                                                  const corvane::kelpa::AuxVarManager& numbers,
                                                  std::int64_t aux_index, corvane::WcnfStorage& storage);

    // The terms, in text order, of the text that the operators write for a
    // soft constraint that is a sum of int multiples of declared elements:
    //
    //   FormulaPB(<weight> * (<sum>), None, None).to_maxsat(manager, <minimization>)
    //
    // (a sum that read_flat_sum_text reads, listed or chained). Taken only
    // where the evaluation road makes one soft clause of each term: every
    // member a distinct declared element other than number 0, at most
    // kMaxSmallComparisonMembers members, and every weight within 64 bits;
    // nullopt for any other text.
    std::optional<std::vector<SoftTerm>> soft_terms(std::string_view text) const;

private:
    // A shape's encoding: the clause form of the encoder's clauses when they
    // have no aux variable, else the clauses themselves, the members numbered
    // from 1 in text order and the aux numbers after them.
    struct ShapeEncoding {
        std::optional<corvane::dravo::NumberedClauses> clause_form;
        std::vector<std::int64_t> database;  // with aux variables only
    };

    std::optional<std::vector<std::int64_t>> element_numbers(const FlatSumText& read) const;
    const std::optional<ShapeEncoding>& shape_encoding(const FlatSumText& read, const corvane::kelpa::PBConfig& config,
                                                       const corvane::kelpa::AuxVarManager& numbers);

    DeclaredVariables variables_;
    std::string aux_prefix_;
    std::unordered_map<ComparisonShape, std::optional<ShapeEncoding>, ComparisonShapeHash> shapes_;
    std::size_t literals_kept_ = 0;
};

}  // namespace tarvo::kernels
