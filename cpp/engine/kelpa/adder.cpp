#include "engine/kelpa/adder.hpp"

#include <cstddef>

namespace corvane::kelpa {
namespace {

constexpr Lit kFalse = 0;  // a bit position no adder output reaches

// s = x xor y xor z, c = majority(x, y, z).
void full_adder(Lit x, Lit y, Lit z, Lit s, Lit c, ClauseSink& out) {
    out.clause({-x, -y, c});
    out.clause({-x, -z, c});
    out.clause({-y, -z, c});
    out.clause({x, y, -c});
    out.clause({x, z, -c});
    out.clause({y, z, -c});
    out.clause({-x, -y, -z, s});
    out.clause({-x, y, z, s});
    out.clause({x, -y, z, s});
    out.clause({x, y, -z, s});
    out.clause({x, y, z, -s});
    out.clause({-x, -y, z, -s});
    out.clause({-x, y, -z, -s});
    out.clause({x, -y, -z, -s});
}

// s = x xor y, c = x and y.
void half_adder(Lit x, Lit y, Lit s, Lit c, ClauseSink& out) {
    out.clause({-x, -y, c});
    out.clause({x, -c});
    out.clause({y, -c});
    out.clause({-x, y, s});
    out.clause({x, -y, s});
    out.clause({x, y, -s});
    out.clause({-x, -y, -s});
}

bool bit(U128 value, std::size_t b) { return b < 128 && ((value >> b) & 1) != 0; }

// Reduces the weighted literals to one bit per position (kFalse where empty).
std::vector<Lit> sum_bits(const std::vector<Term>& terms, ClauseSink& out) {
    std::vector<std::vector<Lit>> buckets;
    for (const Term& t : terms) {
        for (std::size_t b = 0; b < 128 && (t.weight >> b) != 0; ++b) {
            if (!bit(t.weight, b)) continue;
            if (buckets.size() <= b) buckets.resize(b + 1);
            buckets[b].push_back(t.lit);
        }
    }
    std::vector<Lit> bits;
    // Each bucket is a queue: sums go back to its end, so the adder tree
    // stays balanced. A carry may open a new bucket, hence the index loop.
    for (std::size_t b = 0; b < buckets.size(); ++b) {
        std::size_t head = 0;
        while (buckets[b].size() - head >= 2) {
            const bool full = buckets[b].size() - head >= 3;
            const Lit x = buckets[b][head++];
            const Lit y = buckets[b][head++];
            const Lit s = out.fresh();
            const Lit c = out.fresh();
            if (full) {
                const Lit z = buckets[b][head++];
                full_adder(x, y, z, s, c, out);
            } else {
                half_adder(x, y, s, c, out);
            }
            buckets[b].push_back(s);
            if (buckets.size() <= b + 1) buckets.resize(b + 2);
            buckets[b + 1].push_back(c);
        }
        bits.push_back(buckets[b].size() > head ? buckets[b][head] : kFalse);
    }
    return bits;
}

// number <= bound: for every 0 bit of the bound, the number must not have a 1
// there while matching all 1s of the bound above it.
void at_most(const std::vector<Lit>& bits, U128 bound, ClauseSink& out) {
    std::vector<Lit> clause;
    for (std::size_t b = 0; b < bits.size(); ++b) {
        if (bit(bound, b) || bits[b] == kFalse) continue;
        clause.assign(1, -bits[b]);
        bool satisfied = false;
        for (std::size_t j = b + 1; j < bits.size() && !satisfied; ++j) {
            if (!bit(bound, j)) continue;
            if (bits[j] == kFalse) satisfied = true;
            clause.push_back(-bits[j]);
        }
        if (!satisfied) out.clause(clause);
    }
}

// number >= bound: for every 1 bit of the bound, the number has a 1 there or
// a 1 at a higher position where the bound has a 0.
void at_least(const std::vector<Lit>& bits, U128 bound, ClauseSink& out) {
    std::vector<Lit> clause;
    for (std::size_t b = 0; b < bits.size(); ++b) {
        if (!bit(bound, b)) continue;
        clause.clear();
        if (bits[b] != kFalse) clause.push_back(bits[b]);
        for (std::size_t j = b + 1; j < bits.size(); ++j) {
            if (!bit(bound, j) && bits[j] != kFalse) clause.push_back(bits[j]);
        }
        out.clause(clause);
    }
}

void equal_to(const std::vector<Lit>& bits, U128 bound, ClauseSink& out) {
    for (std::size_t b = 0; b < bits.size(); ++b) {
        if (bits[b] == kFalse) {
            if (bit(bound, b)) out.clause(std::span<const Lit>{});
        } else {
            out.clause({bit(bound, b) ? bits[b] : -bits[b]});
        }
    }
}

}  // namespace

void encode_adder(const std::vector<Term>& terms, Comparator comparator, U128 bound, ClauseSink& out) {
    const std::vector<Lit> bits = sum_bits(terms, out);
    switch (comparator) {
        case Comparator::LEQ: at_most(bits, bound, out); break;
        case Comparator::GEQ: at_least(bits, bound, out); break;
        case Comparator::BOTH: equal_to(bits, bound, out); break;
    }
}

}  // namespace corvane::kelpa
