#include "engine/kelpa/normalize.hpp"

#include <unordered_map>

namespace corvane::kelpa {
namespace {

using I128 = __int128;

U128 gcd(U128 a, U128 b) {
    while (b != 0) {
        U128 r = a % b;
        a = b;
        b = r;
    }
    return a;
}

U128 sum_of(const std::vector<Term>& terms) {
    U128 sum = 0;
    for (const Term& t : terms) sum += t.weight;
    return sum;
}

// Moves every literal of `terms` into `forced`, negated or not.
void force_all(NormalForm& form, bool negated) {
    for (const Term& t : form.terms) form.forced.push_back(negated ? -t.lit : t.lit);
    form.terms.clear();
}

// Literals whose weight alone exceeds the bound must be false (LEQ, BOTH).
void force_heavy_false(NormalForm& form) {
    std::vector<Term> kept;
    for (const Term& t : form.terms) {
        if (t.weight > form.bound) {
            form.forced.push_back(-t.lit);
        } else {
            kept.push_back(t);
        }
    }
    form.terms.swap(kept);
}

// Dividing by the weights' common divisor shrinks every encoding and turns
// equal weights into a cardinality constraint.
void divide_by_gcd(NormalForm& form) {
    U128 g = 0;
    for (const Term& t : form.terms) g = gcd(g, t.weight);
    if (g <= 1) return;
    for (Term& t : form.terms) t.weight /= g;
    switch (form.comparator) {
        case Comparator::LEQ: form.bound /= g; break;
        case Comparator::GEQ: form.bound = (form.bound + g - 1) / g; break;
        case Comparator::BOTH:
            if (form.bound % g != 0) form.never = true;
            form.bound /= g;
            break;
    }
}

}  // namespace

NormalForm normalize(const PBConstraint& constraint) {
    // Merge repeated variables: w * -v is w - w * v.
    std::vector<std::pair<Lit, I128>> coefficients;
    std::unordered_map<Lit, std::size_t> index_of;
    I128 bound = constraint.bound;
    for (const WeightedLit& wl : constraint.terms) {
        const Lit var = wl.lit > 0 ? wl.lit : -wl.lit;
        auto [it, inserted] = index_of.try_emplace(var, coefficients.size());
        if (inserted) coefficients.emplace_back(var, 0);
        I128& c = coefficients[it->second].second;
        if (wl.lit > 0) {
            c += wl.weight;
        } else {
            c -= wl.weight;
            bound -= wl.weight;
        }
    }

    // Negative weights: c * v is c + |c| * -v.
    NormalForm form;
    form.comparator = constraint.comparator;
    for (auto [var, c] : coefficients) {
        if (c > 0) {
            form.terms.push_back({var, static_cast<U128>(c)});
        } else if (c < 0) {
            form.terms.push_back({-var, static_cast<U128>(-c)});
            bound -= c;
        }
    }

    const I128 sum = static_cast<I128>(sum_of(form.terms));
    switch (form.comparator) {
        case Comparator::LEQ:
            if (bound < 0) {
                form.never = true;
            } else if (sum <= bound) {
                form.terms.clear();
            } else {
                form.bound = static_cast<U128>(bound);
                force_heavy_false(form);
                if (sum_of(form.terms) <= form.bound) form.terms.clear();
            }
            break;
        case Comparator::GEQ:
            if (bound <= 0) {
                form.terms.clear();
            } else if (sum < bound) {
                form.never = true;
            } else {
                form.bound = static_cast<U128>(bound);
                for (Term& t : form.terms) {
                    if (t.weight > form.bound) t.weight = form.bound;
                }
            }
            break;
        case Comparator::BOTH:
            if (bound < 0 || sum < bound) {
                form.never = true;
            } else {
                form.bound = static_cast<U128>(bound);
                force_heavy_false(form);
                const U128 rest = sum_of(form.terms);
                if (rest < form.bound) {
                    form.never = true;
                } else if (rest == form.bound) {
                    force_all(form, false);
                }
            }
            break;
    }
    if (form.never) {
        form.forced.clear();
        form.terms.clear();
        return form;
    }
    if (form.terms.empty()) return form;

    divide_by_gcd(form);
    if (form.never) {
        form.forced.clear();
        form.terms.clear();
    } else if (form.comparator == Comparator::GEQ && sum_of(form.terms) == form.bound) {
        force_all(form, false);
    }
    return form;
}

}  // namespace corvane::kelpa
