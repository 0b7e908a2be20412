#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "engine/core/interruption.hpp"
#include "engine/dravo/dravo.hpp"
#include "engine/fenc/clause_list.hpp"
#include "engine/fenc/shape.hpp"
#include "engine/kelpa/kelpa.hpp"

namespace corvane::fenc {

// The PB encoder's settings for every comparison and target bound of the
// formula encoder: the adder network, and no clause limit, since the model
// gives the formula encoder none and a big constraint must encode, not fail.
kelpa::PBConfig adder_config();

// The clauses of one shape (shape.hpp). Literal ids 1..variables stand for
// the shape's variables, the next `pb_aux` ids for the PB encoder's
// auxiliaries and the last `tseytin_aux` ids for the Tseytin auxiliaries.
struct ClauseTemplate {
    std::int64_t variables = 0;
    std::int64_t pb_aux = 0;
    std::int64_t tseytin_aux = 0;
    ClauseList clauses;
};

// Encodes shapes into clause templates: comparisons with the PB encoder
// (adder encoding), each written for where it sits in the formula
// (comparison_formula.hpp), the Boolean structure with the Tseytin transformation,
// and keeps the result per shape, so instances of the same shape are encoded
// once.
class TemplateCache {
public:
    // A shape that is a conjunction of comparisons and literals is read
    // straight from the PB encoder's clauses (conjunction_template.hpp);
    // without `shortcuts` every shape takes the Boolean road, the reference
    // that shortcut is tested against.
    explicit TemplateCache(bool shortcuts = true) : shortcuts_(shortcuts) {}

    const ClauseTemplate& get(const Shape& shape, std::int64_t variables);

private:
    struct ShapeHash {
        std::size_t operator()(const Shape& shape) const;
    };

    ClauseTemplate build(std::span<const std::int64_t> shape, std::int64_t variables);
    dravo::Expr variable(std::int64_t number, bool pb_aux);

    dravo::Context context_;
    std::vector<dravo::Expr> shape_variables_, pb_aux_variables_;  // by number
    std::vector<std::int64_t> number_of_context_id_;
    kelpa::PBConfig config_ = adder_config();
    std::unordered_map<Shape, ClauseTemplate, ShapeHash> cache_;
    ClauseTemplate uncached_;
    InterruptionPoll poll_;
    bool shortcuts_;
};

}  // namespace corvane::fenc
