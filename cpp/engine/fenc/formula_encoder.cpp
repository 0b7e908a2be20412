#include "engine/fenc/formula_encoder.hpp"

#include <algorithm>
#include <chrono>

#include "engine/core/interruption.hpp"
#include "engine/fenc/compiler.hpp"
#include "engine/fenc/witness.hpp"

namespace corvane::fenc {
namespace {

// Adds the time from its start to its end, or to a lap, to a total.
class Stopwatch {
public:
    explicit Stopwatch(double& total) : total_(&total), start_(std::chrono::steady_clock::now()) {}
    ~Stopwatch() { *total_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

    // Adds the time so far to the total and counts on into `next`, with one clock read for both.
    void lap(double& next) {
        const auto now = std::chrono::steady_clock::now();
        *total_ += std::chrono::duration<double>(now - start_).count();
        total_ = &next;
        start_ = now;
    }

private:
    double* total_;
    std::chrono::steady_clock::time_point start_;
};

constexpr std::string_view kPbAux = "_kelpa_aux", kTseytinAux = "_dravo_aux";

}  // namespace

FormulaEncoder::FormulaEncoder(std::string model_name, bool clause_form_shortcuts)
    : model_name_(std::move(model_name)), shortcuts_(clause_form_shortcuts), templates_(clause_form_shortcuts) {}

void FormulaEncoder::create_variables(std::string name, std::vector<std::int64_t> sizes) {
    declarations_.add(std::move(name), std::move(sizes));
}

template <typename PerInstance>
std::uint64_t FormulaEncoder::for_each_instance(const std::vector<Forall>& foralls, PerInstance&& per_instance) {
    const std::uint64_t count = instance_count(foralls);
    std::vector<std::uint64_t> position(foralls.size(), 0);
    instance_values_.resize(foralls.size());
    for (std::uint64_t n = 0; n < count; ++n) {
        for (std::size_t k = 0; k < foralls.size(); ++k) instance_values_[k] = foralls[k].value(position[k]);
        per_instance(n);
        // Odometer: the last forall runs fastest.
        for (std::size_t k = foralls.size(); k-- > 0;) {
            if (++position[k] < foralls[k].size()) break;
            position[k] = 0;
        }
    }
    return count;
}

void FormulaEncoder::add_hard_instance(const Program& program, EncodedFormula& formula, std::uint64_t instance) {
    evaluator_.run(program, declarations_, instance_values_);
    const std::vector<std::int64_t>& vars = evaluator_.variables();
    const auto variable_count = static_cast<std::int64_t>(vars.size());
    const ClauseTemplate& t = templates_.get(evaluator_.shape(), variable_count);
    const std::int64_t aux_base = formula.aux_count;
    for (std::size_t c = 0; c < t.clauses.size(); ++c) {
        for (const std::int64_t lit : t.clauses[c]) {
            const std::int64_t id = lit > 0 ? lit : -lit;
            const std::int64_t number =
                id <= variable_count ? vars[static_cast<std::size_t>(id - 1)] : formula.first_aux + aux_base + id - variable_count - 1;
            clauses_.push(lit > 0 ? number : -number);
        }
        clauses_.close_clause();
    }
    if (t.pb_aux + t.tseytin_aux > 0) {
        auto& blocks = formula.aux_blocks;
        if (!blocks.empty() && blocks.back().instance + blocks.back().instances == instance &&
            blocks.back().pb_aux == t.pb_aux && blocks.back().tseytin_aux == t.tseytin_aux) {
            ++blocks.back().instances;
        } else {
            blocks.push_back({instance, 1, t.pb_aux, t.tseytin_aux});
        }
        formula.aux_count += t.pb_aux + t.tseytin_aux;
    }
}

template <typename Encode>
void FormulaEncoder::add_formula(EncodedFormula formula, Encode&& encode) {
    formula.first_clause = clauses_.size();
    formula.first_aux = declarations_.element_count() + 1 + aux_total_;
    try {
        encode(formula);
        formula.clause_count = clauses_.size() - formula.first_clause;
        aux_total_ += formula.aux_count;
        formulas_.push_back(std::move(formula));
    } catch (...) {
        clauses_.truncate(formula.first_clause);
        throw;
    }
}

void FormulaEncoder::add_constraint(std::string_view text, std::string_view foralls_text) {
    Stopwatch watch(parse_seconds_);
    const std::vector<Forall> foralls = parse_foralls(foralls_text);
    if (foralls.empty() && shortcuts_ && literal_clauses_.read(text, declarations_)) {
        // Read is encoded: the clause goes in within the parse time, one clock read fewer on a call this cheap.
        add_formula({}, [&](EncodedFormula& formula) {
            formula.instances = 1;
            clauses_.add(literal_clauses_.literals());
        });
        return;
    }
    const Program program = compile(std::string(text), ValueKind::Boolean, declarations_, foralls);
    watch.lap(encode_seconds_);
    add_formula({}, [&](EncodedFormula& formula) {
        formula.instances =
            for_each_instance(foralls, [&](std::uint64_t n) { add_hard_instance(program, formula, n); });
    });
}

void FormulaEncoder::add_soft_instance(EncodedFormula& formula, std::int64_t weight, bool minimization) {
    for (const WeightedVar& term : evaluator_.terms()) {
        std::int64_t w;
        // -2^63 fits, but its magnitude, the clause weight, is one beyond what the storage holds.
        if (__builtin_mul_overflow(term.weight, weight, &w) || w == INT64_MIN) {
            throw std::overflow_error("a soft term's coefficient times the weight does not fit into 64 bits");
        }
        if (w == 0) continue;
        const std::uint64_t magnitude = w > 0 ? static_cast<std::uint64_t>(w) : 0 - static_cast<std::uint64_t>(w);
        if (__builtin_add_overflow(formula.weight_sum, magnitude, &formula.weight_sum)) {
            throw std::overflow_error("the soft weights add up beyond 64 bits");
        }
        // The clause holds when no penalty is due.
        const std::int64_t penalty_free[] = {(w > 0) == minimization ? -term.var : term.var};
        clauses_.add(penalty_free);
        formula.weights.push_back(static_cast<std::int64_t>(magnitude));
    }
}

void FormulaEncoder::add_soft_constraint(std::string text, std::string_view foralls_text, std::int64_t weight,
                                         bool minimization) {
    Stopwatch watch(parse_seconds_);
    const std::vector<Forall> foralls = parse_foralls(foralls_text);
    const Program program = compile(std::move(text), ValueKind::PseudoBoolean, declarations_, foralls);
    watch.lap(encode_seconds_);
    EncodedFormula soft;
    soft.soft = true;
    std::uint64_t total = 0;
    add_formula(std::move(soft), [&](EncodedFormula& formula) {
        formula.instances = for_each_instance(foralls, [&](std::uint64_t) {
            evaluator_.run(program, declarations_, instance_values_);
            add_soft_instance(formula, weight, minimization);
        });
        // The weight limit, one above all soft weights together, must fit the
        // storage: refused here, where the weight comes in, not at generate_cnf.
        if (__builtin_add_overflow(soft_weight_total_, formula.weight_sum, &total) ||
            total >= static_cast<std::uint64_t>(INT64_MAX)) {
            throw std::overflow_error("the soft weights would add up beyond 2**63 - 2, and the weight limit above"
                                      " them beyond 64 bits");
        }
    });
    soft_weight_total_ = total;
}

void FormulaEncoder::add_target(std::string text) {
    Stopwatch watch(parse_seconds_);
    const Program program = compile(std::move(text), ValueKind::PseudoBoolean, declarations_, {});
    evaluator_.run(program, declarations_, {});
    target_ = evaluator_.terms();
}

void FormulaEncoder::set_witness(std::vector<std::int64_t> model) {
    check_witness(model);
    witness_ = std::move(model);
}

void FormulaEncoder::set_another_witness(std::vector<std::int64_t> model) {
    check_witness(model);
    another_witness_ = std::move(model);
}

bool FormulaEncoder::check_another_witness() const {
    if (!witness_ || !another_witness_) return false;
    const std::int64_t elements = declarations_.element_count();
    return truth_table(*witness_, elements) != truth_table(*another_witness_, elements);
}

void FormulaEncoder::reset() {
    witness_.reset();
    another_witness_.reset();
}

std::int64_t FormulaEncoder::encode_target_bound(WcnfStorage& storage, std::int64_t first_aux,
                                                 MappingEntries& entries) const {
    const std::vector<bool> truth = truth_table(*witness_, declarations_.element_count());
    kelpa::PBConstraint bound;
    bound.comparator = kelpa::Comparator::LEQ;
    std::int64_t value = 0;
    for (const WeightedVar& term : *target_) {
        bound.terms.push_back({term.var, term.weight});
        if (truth[static_cast<std::size_t>(term.var)] && __builtin_add_overflow(value, term.weight, &value)) {
            throw std::overflow_error("the target value of the witness does not fit into 64 bits");
        }
    }
    if (__builtin_sub_overflow(value, 1, &bound.bound)) {
        throw std::overflow_error("the target value of the witness does not fit into 64 bits");
    }
    kelpa::AuxVarManager aux(first_aux);
    kelpa::ClauseBuffer buffer;
    kelpa::encode(bound, adder_config(), aux, buffer);
    const ClauseList clauses = ClauseList::from_zero_terminated(buffer.literals());
    InterruptionPoll poll;
    for (std::size_t c = 0; c < clauses.size(); ++c) {
        poll.step();
        storage.add_hard_clause(clauses[c]);
    }
    const std::int64_t added = aux.next_variable() - first_aux;
    std::vector<MappingEntries::AuxVariable> variables;
    for (std::int64_t k = 0; k < added; ++k) variables.push_back({kPbAux, k, first_aux + k});
    entries.add_aux_block(static_cast<std::int64_t>(formulas_.size()), 0, 1, added, variables);
    return added;
}

MappingEntries FormulaEncoder::mapping_entries() const {
    MappingEntries entries;
    for (std::size_t d = 0; d < declarations_.size(); ++d) {
        const Declaration& decl = declarations_.at(static_cast<std::uint32_t>(d));
        entries.add_elements(decl.name, decl.sizes, decl.first);
    }
    std::int64_t next = declarations_.element_count() + 1;
    std::vector<MappingEntries::AuxVariable> variables;
    InterruptionPoll poll;
    for (std::size_t f = 0; f < formulas_.size(); ++f) {
        for (const EncodedFormula::AuxBlock& block : formulas_[f].aux_blocks) {
            poll.step();
            variables.clear();
            for (std::int64_t k = 0; k < block.pb_aux; ++k) variables.push_back({kPbAux, k, next + k});
            for (std::int64_t k = 0; k < block.tseytin_aux; ++k) {
                variables.push_back({kTseytinAux, k, next + block.pb_aux + k});
            }
            const std::int64_t size = block.pb_aux + block.tseytin_aux;
            entries.add_aux_block(static_cast<std::int64_t>(f), static_cast<std::int64_t>(block.instance),
                                  static_cast<std::int64_t>(block.instances), size, variables);
            next += size * static_cast<std::int64_t>(block.instances);
        }
    }
    return entries;
}

void FormulaEncoder::generate_cnf() {
    Stopwatch watch(generate_seconds_);
    auto storage = std::make_shared<WcnfStorage>();
    // The formulas' clauses, exactly: the target bound's, if any, come on top.
    storage->reserve(clauses_.size(), clauses_.literal_count());
    MappingEntries entries = mapping_entries();
    std::int64_t next = declarations_.element_count() + 1;
    std::uint64_t weight_sum = 0;
    bool any_soft = false;
    InterruptionPoll poll;
    for (EncodedFormula& formula : formulas_) {
        poll.step();
        const std::size_t end = formula.first_clause + formula.clause_count;
        if (formula.first_aux != next) {
            // Declared after the formula: the elements took more numbers, and its aux area moves up.
            clauses_.shift_numbers(formula.first_clause, end, formula.first_aux, next - formula.first_aux);
            formula.first_aux = next;
        }
        storage->append_clauses(clauses_.literals(), clauses_.ends(), formula.first_clause, end,
                                formula.soft ? &formula.weights : nullptr);
        next += formula.aux_count;
        any_soft = any_soft || formula.soft;
        if (__builtin_add_overflow(weight_sum, formula.weight_sum, &weight_sum)) {
            throw std::overflow_error("the soft weights add up beyond 64 bits");
        }
    }
    const std::size_t clauses_before_target = storage->size();
    if (target_ && witness_) next += encode_target_bound(*storage, next, entries);
    storage->set_model_name(model_name_);
    storage->set_variable_count(next - 1);
    storage->set_clause_count(static_cast<std::int64_t>(storage->size()));
    if (any_soft) {
        // Above every possible sum of soft penalties, so no hard clause is ever traded for them.
        if (weight_sum >= static_cast<std::uint64_t>(INT64_MAX)) {
            throw std::overflow_error("the soft weights add up beyond the weight limit's 64 bits");
        }
        storage->set_weight_limit(static_cast<std::int64_t>(weight_sum) + 1);
    }
    auto mapping = std::make_shared<VarMapping>();
    mapping->set_entries(std::move(entries));
    mapping->build_inverse_map();
    generated_aux_ = next - 1 - declarations_.element_count();
    target_clauses_ = static_cast<std::int64_t>(storage->size() - clauses_before_target);
    storage_ = std::move(storage);
    mapping_ = std::move(mapping);
}

Metrics FormulaEncoder::metrics() const {
    Metrics m;
    m.model_name = model_name_;
    m.declarations = static_cast<std::int64_t>(declarations_.size());
    m.elements = declarations_.element_count();
    m.targets = target_ ? 1 : 0;
    for (const EncodedFormula& f : formulas_) {
        (f.soft ? m.soft_constraints : m.hard_constraints) += 1;
        (f.soft ? m.soft_clauses : m.hard_clauses) += static_cast<std::int64_t>(f.clause_count);
        m.instances += static_cast<std::int64_t>(f.instances);
        m.aux_variables += f.aux_count;
    }
    m.hard_clauses += target_clauses_;
    if (storage_) m.aux_variables = generated_aux_;  // the target's auxiliaries included
    m.parse_seconds = parse_seconds_;
    m.encode_seconds = encode_seconds_;
    m.generate_seconds = generate_seconds_;
    return m;
}

void FormulaEncoder::save_metrics_json(const std::string& path) const { fenc::save_metrics_json(metrics(), path); }

void FormulaEncoder::save_metrics_csv(const std::string& path) const { fenc::save_metrics_csv(metrics(), path); }

}  // namespace corvane::fenc
