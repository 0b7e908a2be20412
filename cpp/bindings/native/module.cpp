// The tarvo_encoder._native module: each file beside this one registers the
// functions and classes of one job.
#include <nanobind/nanobind.h>

#include "bindings/native/clause_forms.hpp"
#include "bindings/native/expansion.hpp"
#include "bindings/native/expressions.hpp"
#include "bindings/native/flat_sum.hpp"
#include "bindings/native/formula_shape_memo.hpp"
#include "bindings/native/linear_expressions.hpp"
#include "bindings/native/linear_rows.hpp"
#include "bindings/native/mapping_parts.hpp"
#include "bindings/native/plain_clause.hpp"
#include "bindings/native/small_comparison.hpp"
#include "bindings/native/support_names.hpp"

namespace nb = nanobind;

NB_MODULE(_native, m) {
    m.doc() = "Native kernels of tarvo_encoder.";
    // The clause storage and the Boolean expression types are registered
    // there; they must be known before a function of this module receives one.
    nb::module_::import_("velmont.corvane_engine._core");
    nb::module_::import_("velmont.corvane_engine.dravo");
    nb::module_::import_("velmont.corvane_engine.kelpa");
    bind_clause_forms(m);
    bind_support_names(m);
    bind_expansion(m);
    bind_plain_clause(m);
    bind_flat_sum(m);
    bind_expressions(m);
    bind_mapping_parts(m);
    bind_small_comparison(m);
    bind_formula_shape_memo(m);
    bind_linear_rows(m);
    bind_linear_expressions(m);
}
