#include <limits>
#include <string>

#include "engine/kelpa/adder.hpp"
#include "engine/kelpa/cardinality.hpp"
#include "engine/kelpa/emitter.hpp"
#include "engine/kelpa/kelpa.hpp"
#include "engine/kelpa/normalize.hpp"

namespace corvane::kelpa {
namespace {

void check_encoder(EncoderType type) {
    if (type != EncoderType::ADDER && type != EncoderType::BEST) {
        throw NotImplementedEncoder(std::string("PB_Encoder_type.") + encoder_name(type) +
                                    " is not implemented; use PB_Encoder_type.ADDER or PB_Encoder_type.BEST");
    }
}

void check_literals(const PBConstraint& constraint, const AuxVarManager& aux) {
    for (const WeightedLit& wl : constraint.terms) {
        if (wl.lit == 0 || wl.lit == std::numeric_limits<Lit>::min()) {
            throw std::invalid_argument("invalid literal " + std::to_string(wl.lit) +
                                        " in a PB constraint: literals are nonzero variable numbers");
        }
        const Lit var = wl.lit > 0 ? wl.lit : -wl.lit;
        if (var >= aux.next_variable()) {
            throw std::invalid_argument("variable " + std::to_string(var) +
                                        " of the PB constraint is not below the next auxiliary variable " +
                                        std::to_string(aux.next_variable()) +
                                        " of the AuxVarManager: auxiliary numbers would collide with it");
        }
    }
}

bool unit_weights(const std::vector<Term>& terms) {
    for (const Term& t : terms) {
        if (t.weight != 1) return false;
    }
    return true;
}

void encode_normal_form(const NormalForm& form, std::int64_t max_clauses, Emitter& out) {
    if (form.never) {
        out.clause(std::span<const Lit>{});
        return;
    }
    for (Lit lit : form.forced) out.clause({lit});
    if (form.terms.empty()) return;
    if (unit_weights(form.terms)) {
        std::vector<Lit> lits(form.terms.size());
        for (std::size_t i = 0; i < lits.size(); ++i) lits[i] = form.terms[i].lit;
        if (encode_cardinality(lits, form.comparator, static_cast<std::size_t>(form.bound), max_clauses, out)) {
            return;
        }
    }
    encode_adder(form.terms, form.comparator, form.bound, out);
}

}  // namespace

void encode(const PBConstraint& constraint, const PBConfig& config, AuxVarManager& aux, ClauseBuffer& clauses) {
    check_encoder(config.pb_encoder);
    check_literals(constraint, aux);
    const NormalForm form = normalize(constraint);

    const AuxVarManager aux_before = aux;
    const std::size_t literals_before = clauses.literals_.size();
    const std::size_t clauses_before = clauses.clause_count_;
    try {
        Emitter out(clauses, aux);
        encode_normal_form(form, config.max_clauses_per_constraint, out);
    } catch (...) {
        aux = aux_before;
        clauses.literals_.resize(literals_before);
        clauses.clause_count_ = clauses_before;
        throw;
    }
}

}  // namespace corvane::kelpa
