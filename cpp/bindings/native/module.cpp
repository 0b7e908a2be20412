#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nanobind/nanobind.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/shared_ptr.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include "bindings/native/expressions.hpp"
#include "bindings/native/flat_sum.hpp"
#include "bindings/native/formula_shape_memo.hpp"
#include "bindings/native/linear_expressions.hpp"
#include "bindings/native/linear_rows.hpp"
#include "bindings/native/mapping_parts.hpp"
#include "bindings/native/small_comparison.hpp"
#include "bindings/python_values.hpp"
#include "bindings/signal_check.hpp"
#include "engine/core/wcnf_storage.hpp"
#include "engine/dravo/context.hpp"
#include "engine/dravo/node.hpp"
#include "engine/kelpa/kelpa.hpp"
#include "kernels/aux_map_names.hpp"
#include "kernels/clause_form.hpp"
#include "kernels/clause_formula.hpp"
#include "kernels/numbered_template.hpp"
#include "kernels/plain_clause.hpp"
#include "kernels/template_compiler.hpp"
#include "kernels/template_expansion.hpp"
#include "kernels/template_texts.hpp"
#include "kernels/distinct_variables.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;

namespace {

// Numbers come in by the integral rule of the bindings' conversion (int,
// bool or numpy integer), records and lists as lists or tuples.
using corvane::bindings::to_flag;
using corvane::bindings::to_integral;
using corvane::bindings::to_integral_list;
using corvane::bindings::to_record;
using corvane::bindings::to_sequence;
using corvane::bindings::to_text;

using Coefficients = std::vector<std::int64_t>;

// [([(negated, base, per_instance, [coefficient per forall]), ...], weight), ...]
std::vector<kernels::TemplateClause> to_clauses(nb::handle forms) {
    std::vector<kernels::TemplateClause> clauses;
    for (nb::handle form : to_sequence(forms, "clauses", "clause records")) {
        const auto clause_form = to_record(form, 2, "a clause record");
        auto& clause = clauses.emplace_back();
        for (nb::handle literal : to_sequence(clause_form[0], "a clause's literals", "literal records")) {
            const auto fields = to_record(literal, 4, "a literal record");
            clause.literals.push_back({to_flag(fields[0], "negated"), to_integral(fields[1], "a literal base"),
                                       to_integral(fields[2], "a literal step per instance"),
                                       to_integral_list(fields[3], "a literal coefficient")});
        }
        clause.weight = to_integral(clause_form[1], "a clause weight");
    }
    return clauses;
}

// [(prefix, aux_index, number in instance 0), ...]
std::vector<kernels::AuxVariable> to_aux_variables(nb::handle forms) {
    std::vector<kernels::AuxVariable> variables;
    for (nb::handle form : to_sequence(forms, "aux_variables", "aux records")) {
        const auto fields = to_record(form, 3, "an aux record");
        variables.push_back({to_text(fields[0], "an aux prefix"), to_integral(fields[1], "an aux index"),
                             to_integral(fields[2], "an aux number")});
    }
    return variables;
}

// One list of ints per forall.
std::vector<Coefficients> to_forall_values(nb::handle values) {
    std::vector<Coefficients> result;
    for (nb::handle forall : to_sequence(values, "forall_values", "lists")) {
        result.push_back(to_integral_list(forall, "a forall value"));
    }
    return result;
}

// Expands the clauses into `storage` and returns the aux map names of every
// instance as their block. Every check comes first, so a failed call leaves
// `storage` as it was.
kernels::AuxMapNames expand_into(corvane::WcnfStorage& storage, const std::vector<kernels::TemplateClause>& clauses,
                                 const std::vector<Coefficients>& forall_values, std::int64_t num_formula,
                                 std::int64_t block_size, std::vector<kernels::AuxVariable> aux_variables) {
    const std::int64_t instances = kernels::count_instances(forall_values);
    kernels::AuxMapNames names(num_formula, block_size, std::move(aux_variables), instances);
    // The GIL is held throughout: the handlers run in the loop, and what they raise ends it.
    kernels::expand_template(clauses, forall_values, storage, corvane::bindings::check_signals);
    return names;
}

// The aux map names as a dict; an interrupt while it is written removes the
// clauses that the expansion stored from `first` on.
nb::dict aux_dict_of_expansion(kernels::AuxMapNames& names, corvane::WcnfStorage& storage, std::size_t first) {
    try {
        return aux_map_dict(names);
    } catch (...) {
        storage.remove_clauses(first, storage.size() - first);
        throw;
    }
}

nb::dict expand_template(corvane::WcnfStorage& storage, nb::handle clause_forms, nb::handle forall_values,
                         nb::handle num_formula, nb::handle block_size, nb::handle aux_forms) {
    auto clauses = to_clauses(clause_forms);
    const auto values = to_forall_values(forall_values);
    const std::int64_t formula = to_integral(num_formula, "num_formula");
    const std::int64_t block = to_integral(block_size, "block_size");
    const std::size_t first = storage.size();
    kernels::AuxMapNames names = expand_into(storage, clauses, values, formula, block, to_aux_variables(aux_forms));
    return aux_dict_of_expansion(names, storage, first);
}

// The literal texts of a template given as a clause-form formula, as a
// numbered template or as lists of texts, one list per clause.
std::optional<kernels::LiteralTexts> literal_texts(nb::handle template_clauses) {
    if (nb::isinstance<corvane::dravo::Node>(template_clauses)) {
        return kernels::literal_texts_of(nb::cast<corvane::dravo::Expr>(template_clauses));
    }
    if (nb::isinstance<kernels::NumberedTemplate>(template_clauses)) {
        return nb::cast<const kernels::NumberedTemplate&>(template_clauses).literal_texts();
    }
    kernels::LiteralTextsBuilder texts;
    for (nb::handle clause : template_clauses) {
        if (!nb::isinstance<nb::list>(clause) && !nb::isinstance<nb::tuple>(clause)) return std::nullopt;
        for (nb::handle text : clause) {
            if (!PyUnicode_CheckExact(text.ptr())) return std::nullopt;
            texts.add(to_text(text, "a literal text"));
        }
        texts.end_clause();
    }
    return texts.take();
}

// The texts as the container's lists, one list of str per clause.
nb::list literal_text_lists(const kernels::NumberedTemplate& numbered) {
    const kernels::LiteralTexts texts = numbered.literal_texts();
    std::vector<nb::str> distinct;
    distinct.reserve(texts.texts.size());
    for (const std::string& text : texts.texts) distinct.emplace_back(text.data(), text.size());
    nb::list clauses;
    std::size_t begin = 0;
    for (const std::size_t end : texts.clause_ends) {
        nb::list clause;
        for (std::size_t i = begin; i < end; ++i) clause.append(distinct[texts.literals[i]]);
        clauses.append(clause);
        begin = end;
    }
    return clauses;
}

// [(name, first number, [size per dimension], [stride per dimension]), ...]
kernels::DeclaredVariables declared_variables(nb::handle variable_forms) {
    kernels::DeclaredVariables variables;
    for (nb::handle form : to_sequence(variable_forms, "variables", "variable records")) {
        const auto fields = to_record(form, 4, "a variable record");
        variables.by_name.try_emplace(to_text(fields[0], "a variable name"),
                                      kernels::DeclaredVariable{to_integral(fields[1], "a first number"),
                                                                to_integral_list(fields[2], "a size"),
                                                                to_integral_list(fields[3], "a stride")});
    }
    return variables;
}

std::optional<nb::object> expand_texts(corvane::WcnfStorage& storage, nb::handle template_clauses,
                                     nb::handle weight_list, const std::vector<std::string>& forall_names,
                                     nb::handle forall_value_lists, const kernels::DeclaredVariables& variables,
                                     nb::handle formula_number, nb::handle first_aux, nb::handle pb_aux_count,
                                     nb::handle bx_aux_count, const std::string& pb_prefix,
                                     const std::string& bx_prefix, bool aux_block) {
    const Coefficients weights = to_integral_list(weight_list, "a weight");
    const auto forall_values = to_forall_values(forall_value_lists);
    const std::int64_t num_formula = to_integral(formula_number, "num_formula");
    const std::int64_t init_shift = to_integral(first_aux, "init_shift");
    const std::int64_t pb_count = to_integral(pb_aux_count, "pb_count");
    const std::int64_t bx_count = to_integral(bx_aux_count, "bx_count");
    if (forall_names.size() != forall_values.size()) throw nb::value_error("one name per forall is needed");
    std::vector<kernels::Forall> foralls;
    for (std::size_t d = 0; d < forall_names.size(); ++d) {
        const auto& values = forall_values[d];
        if (values.empty()) return std::nullopt;  // no instance: the evaluation costs next to nothing
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        foralls.push_back({forall_names[d], *low, *high});
    }
    const kernels::AuxNumbering numbering{init_shift, pb_count, bx_count, pb_prefix, bx_prefix};
    std::optional<kernels::CompiledTemplate> compiled;
    if (foralls.empty() && nb::isinstance<kernels::NumberedTemplate>(template_clauses)) {
        // One instance: each name is compiled once, without writing and reading every signed text.
        compiled = kernels::compile_instance(nb::cast<const kernels::NumberedTemplate&>(template_clauses), weights,
                                             variables, numbering);
    } else {
        const auto texts = literal_texts(template_clauses);
        if (!texts) return std::nullopt;
        compiled = kernels::compile_template(*texts, weights, foralls, variables, numbering);
    }
    if (!compiled) return std::nullopt;
    const std::size_t first = storage.size();
    kernels::AuxMapNames names = expand_into(storage, compiled->clauses, forall_values, num_formula,
                                             pb_count + bx_count, std::move(compiled->aux_variables));
    if (aux_block) return nb::cast(std::move(names));
    return aux_dict_of_expansion(names, storage, first);
}

// The variable that the Manager pairs with a number, or nullptr.
std::shared_ptr<const corvane::dravo::Variable> paired_variable(const nb::dict& pb2bx, std::int64_t number) {
    nb::int_ key(number);
    PyObject* found = PyDict_GetItemWithError(pb2bx.ptr(), key.ptr());
    if (found == nullptr) {
        if (PyErr_Occurred()) throw nb::python_error();
        return nullptr;
    }
    return nb::cast<std::shared_ptr<const corvane::dravo::Variable>>(nb::handle(found));
}

// The encoder's database as the clause form that the reference road makes of
// it (clause_formula, then the transformation), or None where that road
// takes another turn. The template's next_index is the aux counter as
// clause_formula would leave it; the pairing table is only read, since no
// formula over its variables is made.
std::optional<kernels::NumberedTemplate> numbered_template(nb::handle clauses, const nb::dict& pb2bx,
                                                           nb::handle aux_index, const std::string& prefix) {
    std::vector<std::int64_t> listed;
    std::span<const std::int64_t> database;
    if (nb::isinstance<corvane::kelpa::ClauseBuffer>(clauses)) {
        database = nb::cast<const corvane::kelpa::ClauseBuffer&>(clauses).literals();
    } else {
        for (nb::handle clause : clauses) {
            for (nb::handle literal : clause) {
                listed.push_back(to_integral(literal, "a clause literal"));
                if (listed.back() == 0) return std::nullopt;  // 0 ends a clause in the database's form
            }
            listed.push_back(0);
        }
        database = listed;
    }
    // The dictionary keeps each variable alive for the call.
    const kernels::PairedVariable paired = [&pb2bx](std::int64_t number) -> std::optional<kernels::PairedName> {
        const auto variable = paired_variable(pb2bx, number);
        if (variable == nullptr) return std::nullopt;
        return kernels::PairedName{variable.get(), variable->name()};
    };
    return kernels::numbered_template(database, paired, prefix, to_integral(aux_index, "aux_index"));
}

// (formula, next aux index): the encoder's clauses (lists of ints, or its
// database) as one formula over the paired variables; new numbers are paired
// and named as Manager.get_pb_var pairs and names them, from aux_index on,
// into the tables pb2bx and name2pb and the context.
nb::tuple clause_formula(nb::handle clauses, const nb::dict& pb2bx, const nb::dict& name2pb,
                         corvane::dravo::Context& context, nb::handle aux_index, const std::string& prefix) {
    std::vector<std::int64_t> literals;
    std::vector<std::size_t> clause_ends;
    if (nb::isinstance<corvane::kelpa::ClauseBuffer>(clauses)) {
        // The encoder's database itself: its literals with a 0 after every clause.
        for (const std::int64_t literal : nb::cast<const corvane::kelpa::ClauseBuffer&>(clauses).literals()) {
            if (literal == 0) {
                clause_ends.push_back(literals.size());
            } else {
                literals.push_back(literal);
            }
        }
    } else {
        for (nb::handle clause : clauses) {
            for (nb::handle literal : clause) literals.push_back(to_integral(literal, "a clause literal"));
            clause_ends.push_back(literals.size());
        }
    }
    const auto paired = [&pb2bx](std::int64_t number) { return paired_variable(pb2bx, number); };
    kernels::ClauseFormulaBuilder builder(paired, context, prefix, to_integral(aux_index, "aux_index"));
    const corvane::dravo::Expr formula = builder.build(literals, clause_ends);
    for (const auto& [number, variable] : builder.new_pairs()) {
        name2pb[nb::str(variable->name().c_str())] = nb::int_(number);
        pb2bx[nb::int_(number)] = nb::cast(variable);
    }
    return nb::make_tuple(nb::cast(formula), builder.next_index());
}

// What the model reads of a template formula's support: how many variable
// names contain `marker`, and the names that contain "(" (template variables).
class SupportNames {
public:
    SupportNames(const std::string& marker, bool indexed_only) : marker_(marker), indexed_only_(indexed_only) {}
    void add(const std::string& name) {
        if (name.find(marker_) != std::string::npos) ++marked_;
        const std::size_t opening = name.find('(');
        if (opening == std::string::npos) return;
        if (indexed_only_ && std::none_of(name.begin() + static_cast<std::ptrdiff_t>(opening), name.end(), may_start_name)) {
            return;
        }
        referenced_.append(nb::str(name.c_str(), name.size()));
    }
    std::pair<std::size_t, nb::list> result() const { return {marked_, referenced_}; }

private:
    // A character that can begin a Python name: a letter, "_" or any non-ASCII byte.
    static bool may_start_name(char c) {
        return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
    }

    const std::string& marker_;
    bool indexed_only_;
    std::size_t marked_ = 0;
    nb::list referenced_;
};

std::pair<std::size_t, nb::list> support_names(const corvane::dravo::Node& formula, const std::string& marker,
                                               bool indexed_only) {
    SupportNames names(marker, indexed_only);
    for (const corvane::dravo::Variable* variable : kernels::distinct_variables(formula)) names.add(variable->name());
    return names.result();
}

std::pair<std::size_t, nb::list> numbered_support_names(const kernels::NumberedTemplate& numbered,
                                                        const std::string& marker, bool indexed_only) {
    SupportNames names(marker, indexed_only);
    for (const std::size_t v : numbered.support()) names.add(numbered.names[v]);
    return names.result();
}

}  // namespace

NB_MODULE(_native, m) {
    m.doc() = "Native kernels of tarvo_encoder.";
    // The clause storage and the Boolean expression types are registered
    // there; they must be known before a function of this module receives one.
    nb::module_::import_("velmont.corvane_engine._core");
    nb::module_::import_("velmont.corvane_engine.dravo");
    nb::module_::import_("velmont.corvane_engine.kelpa");
    m.def("expand_template", &expand_template, nb::arg("storage"), nb::arg("clauses"), nb::arg("forall_values"),
          nb::arg("num_formula"), nb::arg("block_size"), nb::arg("aux_variables"),
          "Append every instance's clauses of a compiled template to `storage` and return its aux map names.\n\n"
          "clauses: [([(negated, base, per_instance, [coefficient per forall]), ...], weight), ...]\n"
          "forall_values: one list of ints per forall, outermost first\n"
          "aux_variables: [(prefix, aux_index, number in instance 0), ...] in first-appearance order\n\n"
          "Numbers that leave 1 ... 2**63 - 1 in some instance raise OverflowError, a negative weight, block size "
          "or aux index ValueError, before anything is stored. Signal handlers run now and then; when one raises, "
          "the clauses stored by the call are removed and its exception propagates.");
    m.def("clause_formula", &clause_formula, nb::arg("clauses"), nb::arg("pb2bx"), nb::arg("name2pb"),
          nb::arg("context"), nb::arg("aux_index"), nb::arg("prefix"),
          "(and_s of one or_s per clause (lists of ints, or a kelpa VectorClauseDatabase), the next aux index): "
          "literal n stands for the variable pb2bx pairs with n and -n for its negation; a number not yet "
          "paired is paired with a new variable of the context named prefix + '_' + aux index, from aux_index "
          "on in order of first appearance, and entered in pb2bx and name2pb, as Manager.get_pb_var does.");
    m.def(
        "transformed_clause_form",
        [](const corvane::dravo::Node& formula) -> std::optional<corvane::dravo::Expr> {
            return kernels::transformed_clause_form(formula.shared_from_this());
        },
        nb::arg("formula"),
        "What formula.tseytin() gives for a formula already in clause form (an And of Or nodes of literals "
        "over distinct variables and of literals, or one such Or or literal), found without transforming; "
        "None for any other formula.");
    nb::class_<kernels::NumberedTemplate>(
        m, "NumberedTemplate",
        "A template formula in clause form as numbered literals, as numbered_template makes it; the container "
        "and the expansion take it where they take a clause-form formula.")
        .def("literal_texts", &literal_text_lists,
             "The literal texts that the container writes for the equivalent formula, one list per clause.")
        .def_ro("next_aux_index", &kernels::NumberedTemplate::next_index,
                "The aux index after those of its aux variables, as clause_formula answers it.");
    bind_flat_sum(m);
    bind_expressions(m);
    bind_mapping_parts(m);
    m.def("numbered_template", &numbered_template, nb::arg("clauses"), nb::arg("pb2bx"), nb::arg("aux_index"),
          nb::arg("prefix"),
          "What transformed_clause_form of the formula of clause_formula(clauses, pb2bx, ..., aux_index, prefix) "
          "gives, as a NumberedTemplate, pb2bx only read; None when that formula is constant or not in clause "
          "form, some name would not read back through its literal text, or a listed clause holds 0.");
    m.def("support_names", &support_names, nb::arg("formula"), nb::arg("marker"), nb::arg("indexed_only") = false,
          "(number of support variables whose name contains marker, [names that contain '(']), the names in "
          "no particular order; with indexed_only, only the names in which a Python name may follow the '(' "
          "(the template variables that may use an index)");
    m.def("support_names", &numbered_support_names, nb::arg("formula"), nb::arg("marker"),
          nb::arg("indexed_only") = false);
    m.def(
        "clause_count",
        [](const corvane::dravo::Node& formula) {
            return formula.kind() == corvane::dravo::Kind::And ? formula.args().size() : std::size_t{1};
        },
        nb::arg("formula"), "The number of clauses of a clause-form formula: the operands of an And, else 1.");
    m.def(
        "clause_count", [](const kernels::NumberedTemplate& numbered) { return numbered.clause_count(); },
        nb::arg("formula"));
    m.def("expand_texts", &expand_texts, nb::arg("storage"), nb::arg("template"), nb::arg("weights"),
          nb::arg("forall_names"), nb::arg("forall_values"), nb::arg("variables"), nb::arg("num_formula"),
          nb::arg("init_shift"), nb::arg("pb_count"), nb::arg("bx_count"), nb::arg("pb_prefix"),
          nb::arg("bx_prefix"), nb::arg("aux_block") = false,
          "Compile the literal texts of a template and expand it as expand_template does; None, with nothing "
          "stored, when some text is not sure to mean what the evaluation of the expansion text makes of it.\n"
          "With aux_block, the aux map names come as an AuxMapBlock instead of a dict.\n\n"
          "template: a clause-form dravo formula, or one list of literal texts per clause\n"
          "weights: one per clause (0: hard)\n"
          "variables: the DeclaredVariables that the template's references call");
    nb::class_<kernels::DeclaredVariables>(m, "DeclaredVariables",
                                           "The declared variables by name, as the expansion calls them.")
        .def("__init__",
             [](kernels::DeclaredVariables* self, nb::handle variable_forms) {
                 new (self) kernels::DeclaredVariables(declared_variables(variable_forms));
             },
             nb::arg("variables"),
             "variables: [(name, first number, [size per dimension], [stride per dimension]), ...]; the first "
             "of two entries with one name counts");
    nb::class_<kernels::PlainClauseReader>(
        m, "PlainClauseReader",
        "Reads the expression text of one clause over declared elements (nested bx.or_s lists of "
        "x(1).to_bx() and ~(x(1).to_bx()), or a bare x(1)), or of a Boolean formula over them, without "
        "evaluating it.")
        .def(nb::init<kernels::DeclaredVariables, std::string>(), nb::arg("variables"), nb::arg("aux_prefix"))
        .def(
            "clause_storage",
            [](const kernels::PlainClauseReader& reader, nb::handle text) -> nb::object {
                const auto utf8 = corvane::bindings::utf8_text_or_none(text);
                const auto literals = utf8 ? reader.read(*utf8) : std::nullopt;
                if (!literals) return nb::none();
                corvane::WcnfStorage storage;
                storage.add_hard_clause(*literals);
                return nb::cast(std::move(storage));
            },
            nb::arg("text"),
            "A new clause storage holding the clause as a hard clause, its literals sorted by absolute value; "
            "None when the text is not sure to mean that clause when evaluated.")
        .def(
            "formula_storage",
            [](kernels::PlainClauseReader& reader, nb::handle text) -> nb::object {
                const auto utf8 = corvane::bindings::utf8_text_or_none(text);
                auto read = utf8 ? reader.formula(*utf8) : std::nullopt;
                if (!read) return nb::none();
                nb::object storage = read->storage ? nb::cast(std::move(*read->storage)) : nb::none();
                return nb::make_tuple(nb::cast(std::move(read->clause_form)), storage, read->aux_count);
            },
            nb::arg("text"),
            "(clause form, storage or None, aux count) for the expression text of a Boolean formula over declared "
            "elements (nested bx.and_s, or_s, xor_s and eq_s lists, bx.impl_s, bx.ite_s, ~( ), bx.one(), "
            "bx.zero() and x(1).to_bx() literals): the clause form the evaluation road records (a "
            "NumberedTemplate over the elements and the aux variables, named aux_prefix + '_' + k), a new clause "
            "storage holding instance 0 of a form without aux variables as the container's expansion stores it "
            "(None for a form with aux variables), and the number of aux variables. None when that form is a "
            "constant, and when the text is not sure to mean that formula when evaluated.");
    bind_small_comparison(m);
    bind_formula_shape_memo(m);
    bind_linear_rows(m);
    bind_linear_expressions(m);
}
