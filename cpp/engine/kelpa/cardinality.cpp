#include "engine/kelpa/cardinality.hpp"

#include <algorithm>
#include <functional>

#include "engine/kelpa/totalizer.hpp"

namespace corvane::kelpa {
namespace {

// Up to this many literals pairwise at-most-one beats the auxiliary forms in
// solve time: no aux variables, and its few binary clauses propagate directly.
constexpr std::size_t kPairwiseMaxLits = 6;

constexpr std::int64_t kMaxTimesAdderSize = 16;

std::vector<Lit> negated(const std::vector<Lit>& lits) {
    std::vector<Lit> result(lits.size());
    std::transform(lits.begin(), lits.end(), result.begin(), [](Lit lit) { return -lit; });
    return result;
}

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

std::int64_t sequential_counter_clauses(std::size_t n, std::size_t k) {
    std::int64_t clauses = 0;
    for (std::size_t i = 1; i < n; ++i) {
        if (std::min(i, k) == k) ++clauses;
        if (i + 1 < n) clauses += static_cast<std::int64_t>(std::min(i, k) + std::min(i + 1, k));
    }
    return clauses;
}

// sum(lits) <= k (up), >= k (down) or == k (both), through a totalizer that
// counts to k + 1 at most.
std::size_t totalizer_limit(std::size_t k, CountDirections directions) { return directions.up ? k + 1 : k; }

void totalizer_compare(const std::vector<Lit>& lits, std::size_t k, CountDirections directions, Emitter& out) {
    const std::vector<Lit> counts = totalizer(lits, totalizer_limit(k, directions), directions, out);
    if (directions.up) out.clause({-counts[k]});
    if (directions.down) out.clause({counts[k - 1]});
}

std::int64_t totalizer_compare_clauses(std::size_t n, std::size_t k, CountDirections directions) {
    return totalizer_clauses(n, totalizer_limit(k, directions), directions) + directions.up + directions.down;
}

struct Encoding {
    std::int64_t clauses;
    std::function<void(Emitter&)> write;
};

// The arc-consistent encodings of sum(lits) <comparator> k, in order of
// preference when two are of the same size.
std::vector<Encoding> candidates(const std::vector<Lit>& lits, Comparator comparator, std::size_t k) {
    const std::size_t n = lits.size();
    const auto pairs = static_cast<std::int64_t>(n * (n - 1) / 2);
    std::vector<Encoding> result;
    auto at_most = [&](const std::vector<Lit>& over, std::size_t bound) {
        if (bound + 1 == n) {
            result.push_back({1, [over](Emitter& out) { out.clause(negated(over)); }});
        } else if (bound == 1 && n <= kPairwiseMaxLits) {
            result.push_back({pairs, [over](Emitter& out) { pairwise_at_most_one(over, out); }});
        } else {
            result.push_back({sequential_counter_clauses(n, bound),
                              [over, bound](Emitter& out) { sequential_counter(over, bound, out); }});
            result.push_back({totalizer_compare_clauses(n, bound, {true, false}), [over, bound](Emitter& out) {
                                  totalizer_compare(over, bound, {true, false}, out);
                              }});
            // at most `bound` of `over` is at least n - bound of their negations
            result.push_back({totalizer_compare_clauses(n, n - bound, {false, true}), [over, bound](Emitter& out) {
                                  totalizer_compare(negated(over), over.size() - bound, {false, true}, out);
                              }});
        }
    };
    switch (comparator) {
        case Comparator::LEQ: at_most(lits, k); break;
        case Comparator::GEQ: at_most(negated(lits), n - k); break;
        case Comparator::BOTH:
            if (k == 1 || k + 1 == n) {
                const std::vector<Lit> over = k == 1 ? lits : negated(lits);
                at_most(over, 1);
                for (Encoding& encoding : result) {
                    encoding.clauses += 1;
                    encoding.write = [over, at_most_one = std::move(encoding.write)](Emitter& out) {
                        at_most_one(out);
                        out.clause(over);
                    };
                }
            } else {
                result.push_back({totalizer_compare_clauses(n, k, {true, true}), [lits, k](Emitter& out) {
                                      totalizer_compare(lits, k, {true, true}, out);
                                  }});
                result.push_back({totalizer_compare_clauses(n, n - k, {true, true}), [lits, k, n](Emitter& out) {
                                      totalizer_compare(negated(lits), n - k, {true, true}, out);
                                  }});
            }
            break;
    }
    return result;
}

}  // namespace

bool encode_cardinality(const std::vector<Lit>& lits, Comparator comparator, std::size_t k,
                        std::int64_t max_clauses, Emitter& out) {
    // Beyond this many times the adder's size (about 14 clauses an input), the
    // propagation an arc-consistent encoding gains no longer pays for the
    // clauses a solver has to carry.
    const std::int64_t budget = std::min(max_clauses, kMaxTimesAdderSize * 14 * static_cast<std::int64_t>(lits.size()));
    const std::vector<Encoding> encodings = candidates(lits, comparator, k);
    const Encoding* best = nullptr;
    for (const Encoding& encoding : encodings) {
        if (encoding.clauses <= budget && (best == nullptr || encoding.clauses < best->clauses)) best = &encoding;
    }
    if (best == nullptr) return false;
    best->write(out);
    return true;
}

}  // namespace corvane::kelpa
