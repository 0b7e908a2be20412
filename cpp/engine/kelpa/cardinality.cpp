#include "engine/kelpa/cardinality.hpp"

namespace corvane::kelpa {
namespace {

// Pairwise at-most-one has no aux variable and is no larger than the
// counter up to this many literals.
constexpr std::size_t kPairwiseMaxLits = 4;

// The sequential counter costs about 2k + 1 clauses per literal, the adder
// network about 7 (one full adder per literal). At k = 3 they are even and the
// counter's stronger propagation decides; beyond, the adder is smaller.
constexpr std::size_t kCounterMaxBound = 3;

void pairwise_at_most_one(const std::vector<Lit>& lits, Emitter& out) {
    for (std::size_t i = 0; i < lits.size(); ++i) {
        for (std::size_t j = i + 1; j < lits.size(); ++j) out.clause({-lits[i], -lits[j]});
    }
}

// Sequential counter: after literal i the register holds r[j] >= "at least
// j + 1 of the first i + 1 literals are true" (one polarity suffices, as a
// register bit set too high only forbids more), and the i-th literal may not
// be true once k are counted.
void sequential_counter(const std::vector<Lit>& lits, std::size_t k, Emitter& out) {
    std::vector<Lit> reg{lits[0]};
    std::vector<Lit> next;
    for (std::size_t i = 1; i < lits.size(); ++i) {
        const Lit x = lits[i];
        if (reg.size() == k) out.clause({-x, -reg[k - 1]});
        if (i + 1 == lits.size()) break;
        next.resize(std::min(i + 1, k));
        for (std::size_t j = 0; j < next.size(); ++j) {
            next[j] = out.fresh();
            if (j < reg.size()) out.clause({-reg[j], next[j]});
            if (j == 0) {
                out.clause({-x, next[j]});
            } else {
                out.clause({-x, -reg[j - 1], next[j]});
            }
        }
        reg.swap(next);
    }
}

}  // namespace

bool encode_at_most(const std::vector<Lit>& lits, std::size_t k, Emitter& out) {
    if (k + 1 == lits.size()) {
        std::vector<Lit> not_all(lits.size());
        for (std::size_t i = 0; i < lits.size(); ++i) not_all[i] = -lits[i];
        out.clause(not_all);
    } else if (k == 1 && lits.size() <= kPairwiseMaxLits) {
        pairwise_at_most_one(lits, out);
    } else if (k <= kCounterMaxBound) {
        sequential_counter(lits, k, out);
    } else {
        return false;
    }
    return true;
}

void encode_exactly_one(const std::vector<Lit>& lits, Emitter& out) {
    encode_at_most(lits, 1, out);
    out.clause(lits);
}

}  // namespace corvane::kelpa
