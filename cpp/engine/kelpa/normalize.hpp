// Internal: rewrites a constraint into positive weights over distinct
// variables, with the literals it forces split off.
#pragma once

#include <vector>

#include "engine/kelpa/kelpa.hpp"

namespace corvane::kelpa {

using U128 = unsigned __int128;

struct Term {
    Lit lit;
    U128 weight;  // > 0 and <= bound
};

struct NormalForm {
    bool never = false;        // no assignment satisfies the constraint
    std::vector<Lit> forced;   // literals every satisfying assignment makes true
    std::vector<Term> terms;   // what remains: sum(terms) <comparator> bound,
    Comparator comparator;     // with 0 < bound < sum of the weights;
    U128 bound = 0;            // empty when the forced literals suffice
};

NormalForm normalize(const PBConstraint& constraint);

}  // namespace corvane::kelpa
