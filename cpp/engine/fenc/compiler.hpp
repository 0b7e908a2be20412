#pragma once

#include <string>
#include <vector>

#include "engine/fenc/declarations.hpp"
#include "engine/fenc/foralls.hpp"
#include "engine/fenc/program.hpp"

namespace corvane::fenc {

// Compiles expression text into a Program whose value is of the expected
// kind: a Boolean formula for a hard constraint, a pseudo-Boolean sum for a
// soft constraint or a target. Names are resolved against the declarations
// (variables), the foralls and the loop variables of comprehensions; any
// other free name is refused. Throws TextError (std::invalid_argument) for
// text outside the language or of the wrong kind, naming where reading
// stopped. The parser keeps its state on heap stacks, so nesting depth is
// bounded by memory only.
Program compile(std::string text, ValueKind expected, const Declarations& declarations,
                const std::vector<Forall>& foralls);

}  // namespace corvane::fenc
