#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "engine/core/interruption.hpp"
#include "engine/fenc/clause_template.hpp"
#include "engine/fenc/shape.hpp"
#include "engine/kelpa/kelpa.hpp"

namespace corvane::fenc {

// The comparison that a kCompare node stands for.
kelpa::PBConstraint comparison_of(const ShapeNode& node);

// The template of a shape that is a conjunction of comparisons and literals
// (one alone, or joined by kAnd nodes only): each comparison must hold,
// so the PB encoder's clauses together with the unit clauses of the literals
// are already the clause form, which dravo's ConjunctionClauseForm reads
// directly instead of through formula nodes and the Tseytin transformation.
// The result is the template the Boolean road of TemplateCache gives; nullopt
// for any other shape, or where that road takes a turn the clause form does
// not repeat (a constant, a clause that would need an aux variable).
std::optional<ClauseTemplate> conjunction_template(std::span<const std::int64_t> shape, std::int64_t variables,
                                                   const kelpa::PBConfig& config, InterruptionPoll& poll);

}  // namespace corvane::fenc
