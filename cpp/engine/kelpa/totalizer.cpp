#include "engine/kelpa/totalizer.hpp"

#include <algorithm>
#include <tuple>
#include <utility>

namespace corvane::kelpa {
namespace {

// Outputs of a node counting the true literals of its two children a and b.
std::vector<Lit> merge(const std::vector<Lit>& a, const std::vector<Lit>& b, std::size_t limit,
                       CountDirections directions, Emitter& out) {
    const std::size_t p = a.size(), q = b.size();
    std::vector<Lit> r(std::min(p + q, limit));
    for (Lit& o : r) o = out.fresh();
    const std::size_t m = r.size();
    std::vector<Lit> clause;
    for (std::size_t i = 0; i <= std::min(p, m); ++i) {
        for (std::size_t j = 0; j <= q && i + j <= m; ++j) {
            // a has >= i and b has >= j true  ->  r has >= i + j.
            if (directions.up && i + j >= 1) {
                clause.clear();
                if (i > 0) clause.push_back(-a[i - 1]);
                if (j > 0) clause.push_back(-b[j - 1]);
                clause.push_back(r[i + j - 1]);
                out.clause(clause);
            }
            // a has <= i and b has <= j true  ->  r has <= i + j.
            if (directions.down && i + j < m) {
                clause.clear();
                if (i < p) clause.push_back(a[i]);
                if (j < q) clause.push_back(b[j]);
                clause.push_back(-r[i + j]);
                out.clause(clause);
            }
        }
    }
    return r;
}

// Pairs (i, j) with 0 <= i <= p, 0 <= j <= q and i + j <= s.
std::int64_t pairs_up_to(std::int64_t p, std::int64_t q, std::int64_t s) {
    auto triangle = [](std::int64_t t) { return t < 0 ? 0 : (t + 1) * (t + 2) / 2; };
    return triangle(s) - triangle(s - p - 1) - triangle(s - q - 1) + triangle(s - p - q - 2);
}

// The tree's shape, shared by the encoding and its size: neighbours merge
// level by level, an odd one out moves up.
template <class Node, class Merge>
Node bottom_up(std::vector<Node> level, Merge merge_pair) {
    while (level.size() > 1) {
        std::vector<Node> next;
        next.reserve(level.size() / 2 + 1);
        for (std::size_t i = 0; i + 1 < level.size(); i += 2) next.push_back(merge_pair(level[i], level[i + 1]));
        if (level.size() % 2 == 1) next.push_back(std::move(level.back()));
        level.swap(next);
    }
    return std::move(level.front());
}

}  // namespace

std::vector<Lit> totalizer(const std::vector<Lit>& lits, std::size_t limit, CountDirections directions,
                           Emitter& out) {
    std::vector<std::vector<Lit>> leaves;
    leaves.reserve(lits.size());
    for (Lit lit : lits) leaves.push_back({lit});
    return bottom_up(std::move(leaves), [&](const std::vector<Lit>& a, const std::vector<Lit>& b) {
        return merge(a, b, limit, directions, out);
    });
}

std::int64_t totalizer_clauses(std::size_t n, std::size_t limit, CountDirections directions) {
    std::int64_t clauses = 0;
    bottom_up(std::vector<std::size_t>(n, 1), [&](std::size_t p, std::size_t q) {
        const std::size_t m = std::min(p + q, limit);
        const auto [sp, sq, sm] = std::tuple(static_cast<std::int64_t>(p), static_cast<std::int64_t>(q),
                                             static_cast<std::int64_t>(m));
        if (directions.up) clauses += pairs_up_to(sp, sq, sm) - 1;  // (0, 0) says nothing
        if (directions.down) clauses += pairs_up_to(sp, sq, sm - 1);
        return m;
    });
    return clauses;
}

}  // namespace corvane::kelpa
