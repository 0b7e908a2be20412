#include "engine/kelpa/adder.hpp"

#include <cstddef>
#include <limits>
#include <unordered_map>
#include <utility>

namespace corvane::kelpa {
namespace {

// The constant 1 of the offset inside a column. No variable has this number:
// the allocator never hands it out and the inputs lie below the allocator.
constexpr Lit kOne = std::numeric_limits<Lit>::max();

// About one full adder per column entry: 6 clauses of 3 literals and 8 of 4,
// each with its terminating 0.
constexpr std::size_t kLiteralsPerFullAdder = 6 * 4 + 8 * 5;

// What the comparison needs of a column's last digit: nothing, or a value.
enum class Digit { Free, Zero, One };

bool bit(U128 value, std::size_t b) { return b < 128 && ((value >> b) & 1) != 0; }

// The clauses that forbid every assignment of `lits` whose parity is not
// `odd`: 2^(n-1) clauses of n literals.
void parity(std::initializer_list<Lit> lits, bool odd, Emitter& out) {
    const std::size_t n = lits.size();
    Lit clause[4];
    for (unsigned mask = 0; mask < (1u << n); ++mask) {
        if ((__builtin_popcount(mask) % 2 == 1) == odd) continue;  // an allowed assignment
        std::size_t i = 0;
        for (Lit lit : lits) {  // the clause false exactly under `mask`
            clause[i] = (mask >> i) & 1 ? -lit : lit;
            ++i;
        }
        out.clause(std::span<const Lit>(clause, n));
    }
}

// c = majority(x, y, z), both directions.
void majority(Lit x, Lit y, Lit z, Lit c, Emitter& out) {
    out.clause({-x, -y, c});
    out.clause({-x, -z, c});
    out.clause({-y, -z, c});
    out.clause({x, y, -c});
    out.clause({x, z, -c});
    out.clause({y, z, -c});
}

// One column of the sum, reduced as a stack: an adder's sum goes back on top
// and meets the next literal, so the column becomes a chain of adders. Chains
// were decided markedly faster than balanced trees of the same adders.
class Column {
public:
    void push(Lit lit) { stack_.push_back(lit); }
    const std::vector<Lit>& literals() const { return stack_; }

    // Adds the column up, appending each carry to `carries`, and constrains
    // its last digit as `digit` asks.
    void reduce(Digit digit, std::vector<Lit>& carries, Emitter& out) {
        carry_repeated(carries);
        if (stack_.size() <= 1) {
            if (digit != Digit::Free) fix_lone_digit(digit == Digit::One, out);
            return;
        }
        while (stack_.size() >= 2) {
            if (digit != Digit::Free && (stack_.size() == 4 || stack_.size() == 2)) {
                fix_even_digit(digit == Digit::One, carries, out);
                return;
            }
            const bool last = stack_.size() <= 3;  // this adder's sum is the digit
            const Lit z = pop();
            const Lit y = pop();
            if (!stack_.empty()) {
                add(pop(), y, z, last, digit, carries, out);
            } else {
                add(y, z, last, digit, carries, out);
            }
        }
    }

private:
    // x + x = 2x: a literal that a carry brought into the column a second
    // time moves up as a carry itself, so that no adder sees one variable
    // twice (its clauses would repeat a literal or hold both signs).
    void carry_repeated(std::vector<Lit>& carries) {
        std::unordered_map<Lit, std::size_t> count;
        for (Lit lit : stack_) ++count[lit];
        if (count.size() == stack_.size()) return;
        std::vector<Lit> kept;
        for (Lit lit : stack_) {
            std::size_t& left = count[lit];
            if (left == 0) continue;
            for (; left >= 2; left -= 2) carries.push_back(lit);
            if (left == 1) kept.push_back(lit);
            left = 0;
        }
        stack_.swap(kept);
    }

    Lit pop() {
        const Lit lit = stack_.back();
        stack_.pop_back();
        return lit;
    }

    // The digit is the column's one literal, or 0 in an empty column.
    void fix_lone_digit(bool value, Emitter& out) const {
        if (!stack_.empty() && stack_[0] != kOne) {
            out.clause({value ? stack_[0] : -stack_[0]});
        } else if (!stack_.empty() != value) {  // a constant digit of the wrong value
            out.clause(std::span<const Lit>{});
        }
    }

    // The last two or four literals of a column whose digit is fixed (only
    // equalities fix digits, so no constant is among them). A final half
    // adder w + s = 2c + d needs no variable: d = 1 leaves no carry, d = 0
    // makes the carry w itself. With four, s = x xor y xor z of the full
    // adder below enters the digit's parity directly.
    void fix_even_digit(bool value, std::vector<Lit>& carries, Emitter& out) {
        const Lit z = pop();
        const Lit y = pop();
        if (stack_.empty()) {
            parity({y, z}, value, out);
            if (!value) carries.push_back(y);
            return;
        }
        const Lit x = pop();
        const Lit w = pop();
        const Lit c = out.fresh();
        carries.push_back(c);
        majority(x, y, z, c, out);
        parity({w, x, y, z}, value, out);
        if (!value) carries.push_back(w);
    }

    // The sum of an adder over `inputs`, xor'ed with `flip`: pushed as a new
    // variable, constrained as the digit, or left out when nothing reads it.
    void sum(std::initializer_list<Lit> inputs, bool flip, bool last, Digit digit, Emitter& out) {
        if (last && digit != Digit::Free) {
            parity(inputs, (digit == Digit::One) != flip, out);
        } else if (!last) {
            const Lit s = out.fresh();
            const Lit* in = inputs.begin();
            if (inputs.size() == 2) {
                parity({in[0], in[1], s}, flip, out);
            } else {
                parity({in[0], in[1], in[2], s}, flip, out);
            }
            push(s);
        }
    }

    // x + y + z = 2c + s: a full adder, or with the constant 1 among the
    // inputs, a + b + 1 = 2(a or b) + (a xnor b).
    void add(Lit x, Lit y, Lit z, bool last, Digit digit, std::vector<Lit>& carries, Emitter& out) {
        const Lit c = out.fresh();
        carries.push_back(c);
        if (x == kOne || y == kOne || z == kOne) {
            const auto [a, b] = x == kOne ? std::pair{y, z} : y == kOne ? std::pair{x, z} : std::pair{x, y};
            out.clause({-a, c});
            out.clause({-b, c});
            out.clause({a, b, -c});
            sum({a, b}, true, last, digit, out);
            return;
        }
        majority(x, y, z, c, out);
        sum({x, y, z}, false, last, digit, out);
    }

    // x + y = 2c + s: a half adder, or with the constant 1, a + 1 = 2a + not a
    // (the constant only comes with a free digit).
    void add(Lit x, Lit y, bool last, Digit digit, std::vector<Lit>& carries, Emitter& out) {
        if (x == kOne || y == kOne) {
            const Lit a = x == kOne ? y : x;
            carries.push_back(a);
            if (!last) push(-a);
            return;
        }
        const Lit c = out.fresh();
        carries.push_back(c);
        out.clause({-x, -y, c});
        out.clause({x, -c});
        out.clause({y, -c});
        sum({x, y}, false, last, digit, out);
    }

    std::vector<Lit> stack_;
};

}  // namespace

void encode_adder(const std::vector<Term>& terms, Comparator comparator, U128 bound, Emitter& out) {
    U128 total = 0;
    for (const Term& t : terms) total += t.weight;
    std::size_t m = 0;  // the sum's width, total < 2^m; below 127 for int64 weights
    while ((total >> m) != 0) ++m;

    // As bound < total < 2^m: sum <= bound is sum + 2^m - 1 - bound < 2^m,
    // and sum >= bound is sum + 2^m - bound >= 2^m.
    const U128 top = U128(1) << m;
    const U128 offset = comparator == Comparator::LEQ ? top - 1 - bound
                        : comparator == Comparator::GEQ ? top - bound
                                                        : 0;
    std::vector<Column> columns(m + 1);
    std::size_t entries = 0;
    for (const Term& t : terms) {
        for (std::size_t b = 0; b < m; ++b) {
            if (bit(t.weight, b)) {
                columns[b].push(t.lit);
                ++entries;
            }
        }
    }
    out.expect_literals(entries * kLiteralsPerFullAdder);
    for (std::size_t b = 0; b < m; ++b) {
        if (bit(offset, b)) columns[b].push(kOne);
    }
    std::vector<Lit> carries;
    for (std::size_t b = 0; b < m; ++b) {
        const Digit digit = comparator != Comparator::BOTH ? Digit::Free : bit(bound, b) ? Digit::One : Digit::Zero;
        carries.clear();
        columns[b].reduce(digit, carries, out);
        for (Lit c : carries) columns[b + 1].push(c);
    }
    // Column m holds only carries, and at most one of them can be true: the
    // shifted sum is below 2^(m + 1). GEQ needs that one; LEQ and BOTH none.
    const std::vector<Lit>& overflow = columns[m].literals();
    if (comparator == Comparator::GEQ) {
        out.clause(overflow);
    } else {
        for (Lit c : overflow) out.clause({-c});
    }
}

}  // namespace corvane::kelpa
