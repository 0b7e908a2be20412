// The formula encoder: a model given as declarations and expression texts
// (as the Python writers print them) to weighted CNF, one instance of a
// formula per combination of its foralls.
//
//   text      --lexer.hpp-->       tokens
//   tokens    --compiler.hpp-->    Program (program.hpp): postfix code, names
//                                  bound to forall and loop slots, types checked
//   Program   --evaluator.hpp-->   per instance: a Shape (shape.hpp) of a hard
//                                  constraint over renumbered variables, or the
//                                  WeightedVar terms of a soft sum or target
//   Shape     --clause_template.hpp--> clauses over the shape's variables and
//                                  its aux variables, kept per shape
//                                  (comparisons: comparison_polarity.hpp,
//                                  comparison_formula.hpp, the PB encoder;
//                                  the rest: dravo's Tseytin transformation;
//                                  a conjunction of comparisons and literals
//                                  at once: conjunction_template.hpp)
//   clauses   --FormulaEncoder-->  the instance's elements and aux variables
//                                  put in; generate_cnf writes the storage and
//                                  the variable mapping
//
// A constraint that is one clause of element literals, as the operators
// write x[a] | ~x[b], skips all of that: literal_clause.hpp reads its
// clause straight from the text.
//
// Foralls texts are read by foralls.hpp, declarations kept by
// declarations.hpp; metrics.hpp and witness.hpp serve the encoder's
// metrics files and witnesses.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/var_mapping.hpp"
#include "engine/core/wcnf_storage.hpp"
#include "engine/fenc/clause_list.hpp"
#include "engine/fenc/packed_clause_list.hpp"
#include "engine/fenc/clause_template.hpp"
#include "engine/fenc/declarations.hpp"
#include "engine/fenc/evaluator.hpp"
#include "engine/fenc/foralls.hpp"
#include "engine/fenc/literal_clause.hpp"
#include "engine/fenc/metrics.hpp"
#include "engine/fenc/program.hpp"
#include "engine/fenc/weighted_var.hpp"

namespace corvane::fenc {

// Compiles the expression text of a model's constraints, soft constraints
// and target into weighted CNF. Declared elements are numbered from 1 in
// declaration order; each formula then gets an aux area with one block per
// instance (PB encoder auxiliaries first, then Tseytin auxiliaries), named
// "_kelpa_aux[f,n,k]" / "_dravo_aux[f,n,k]" like the container's. Every
// add either takes the whole formula or, when it throws, leaves the encoder
// as it was.
class FormulaEncoder {
public:
    // clause_form_shortcuts = false encodes every formula the general way,
    // as a reference for the shortcuts (TemplateCache, LiteralClauseReader).
    explicit FormulaEncoder(std::string model_name, bool clause_form_shortcuts = true);

    void create_variables(std::string name, std::vector<std::int64_t> sizes);
    // The text is copied only where it is compiled.
    void add_constraint(std::string_view text, std::string_view foralls_text);
    // Each term weighs its coefficient times `weight`; a term of weight 0 is
    // dropped. Minimising makes a positively weighted term a penalty when
    // true, maximising when false.
    void add_soft_constraint(std::string text, std::string_view foralls_text, std::int64_t weight,
                             bool minimization);
    // The sum to minimise; replaces an earlier target.
    void add_target(std::string text);

    void generate_cnf();
    std::shared_ptr<WcnfStorage> cnf_storage() const { return storage_; }
    std::shared_ptr<VarMapping> var_mapping() const { return mapping_; }

    // A solver's model (signed literals). With a target, the next
    // generate_cnf requires a target value strictly below the witness's.
    void set_witness(std::vector<std::int64_t> model);
    void set_another_witness(std::vector<std::int64_t> model);
    // True when both witnesses are set and differ on a declared element.
    bool check_another_witness() const;
    void reset();

    Metrics metrics() const;
    void save_metrics_json(const std::string& path) const;
    void save_metrics_csv(const std::string& path) const;

private:
    // One hard or soft formula over all its instances: its clauses are
    // clauses_[first_clause, first_clause + clause_count), numbered as they
    // are stored, its aux area from first_aux on: right after the elements
    // and the areas of the formulas before it. A later declaration moves
    // the area up at generate_cnf; first_aux lies above every element the
    // formula names.
    struct EncodedFormula {
        bool soft = false;
        std::int64_t first_aux = 0;
        std::size_t first_clause = 0, clause_count = 0;
        PackedInts weights;  // soft formulas: one per clause
        // Consecutive instances with the same auxiliaries.
        struct AuxBlock {
            std::uint64_t instance, instances;
            std::int64_t pb_aux, tseytin_aux;
        };
        std::vector<AuxBlock> aux_blocks;  // of the instances that have auxiliaries
        std::int64_t aux_count = 0;
        std::uint64_t instances = 0;
        std::uint64_t weight_sum = 0;
    };

    // Adds the formula that `encode` writes into clauses_, or, when it throws, takes its clauses back.
    template <typename Encode>
    void add_formula(EncodedFormula formula, Encode&& encode);
    template <typename PerInstance>
    std::uint64_t for_each_instance(const std::vector<Forall>& foralls, PerInstance&& per_instance);
    void add_hard_instance(const Program& program, EncodedFormula& formula, std::uint64_t instance);
    void add_soft_instance(EncodedFormula& formula, std::int64_t weight, bool minimization);
    // Returns the number of aux variables it adds.
    std::int64_t encode_target_bound(WcnfStorage& storage, std::int64_t first_aux, MappingEntries& entries) const;
    MappingEntries mapping_entries() const;

    std::string model_name_;
    Declarations declarations_;
    std::vector<EncodedFormula> formulas_;
    // The clauses of every formula in order, in one list: most formulas are a clause or a few.
    PackedClauseList clauses_;
    std::int64_t aux_total_ = 0;  // of every formula
    std::uint64_t soft_weight_total_ = 0;  // of every soft formula, below INT64_MAX
    std::optional<std::vector<WeightedVar>> target_;
    std::optional<std::vector<std::int64_t>> witness_, another_witness_;
    // Of the last generate_cnf: all aux variables, and the target bound's clauses.
    std::int64_t generated_aux_ = 0;
    std::int64_t target_clauses_ = 0;

    bool shortcuts_;
    LiteralClauseReader literal_clauses_;
    Evaluator evaluator_;
    TemplateCache templates_;
    std::vector<std::int64_t> instance_values_;

    std::shared_ptr<WcnfStorage> storage_;
    std::shared_ptr<VarMapping> mapping_;
    double parse_seconds_ = 0, encode_seconds_ = 0, generate_seconds_ = 0;
};

}  // namespace corvane::fenc
