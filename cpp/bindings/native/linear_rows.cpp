#include "bindings/native/linear_rows.hpp"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "bindings/python_values.hpp"
#include "kernels/linear_rows.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;

namespace {

using corvane::bindings::to_integral;
using corvane::bindings::to_integral_list;
using corvane::bindings::to_record;
using corvane::bindings::utf8_text_or_none;

// The blocks of the names a text calls, each read once from the model's
// mapping name -> (first column, sizes, strides).
class Blocks {
public:
    explicit Blocks(nb::dict blocks) : blocks_(std::move(blocks)) {}

    const kernels::LinearBlock* find(std::string_view name) {
        const std::string key(name);
        const auto cached = read_.find(key);
        if (cached != read_.end()) return cached->second.get();
        std::unique_ptr<kernels::LinearBlock> block;
        PyObject* record = PyDict_GetItemWithError(blocks_.ptr(), nb::str(name.data(), name.size()).ptr());
        if (record == nullptr && PyErr_Occurred()) throw nb::python_error();
        if (record != nullptr) {
            const auto fields = to_record(record, 3, "a block record");
            block = std::make_unique<kernels::LinearBlock>();
            block->first = to_integral(fields[0], "a block's first column");
            block->sizes = to_integral_list(fields[1], "a block's sizes");
            block->strides = to_integral_list(fields[2], "a block's strides");
            if (block->sizes.size() != block->strides.size()) throw nb::value_error("a block needs a stride per size");
        }
        return read_.emplace(key, std::move(block)).first->second.get();
    }

private:
    nb::dict blocks_;
    std::unordered_map<std::string, std::unique_ptr<kernels::LinearBlock>> read_;
};

nb::object number(const kernels::LinearNumber& value) {
    PyObject* object = value.integral ? PyLong_FromLongLong(value.integer) : PyFloat_FromDouble(value.real);
    if (object == nullptr) throw nb::python_error();
    return nb::steal(object);
}

template <typename T>
nb::object buffer(const std::vector<T>& values) {
    PyObject* bytes = PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(values.size() * sizeof(T)));
    if (bytes == nullptr) throw nb::python_error();
    if (!values.empty()) std::memcpy(PyByteArray_AS_STRING(bytes), values.data(), values.size() * sizeof(T));
    return nb::steal(bytes);
}

// (constants, ends, columns, integers, reals, integral rows, height): the
// entries as int32 columns and, per row, int64 values where all of the
// row's values are ints, float64 values otherwise (the dtypes numpy gives
// the evaluation's coefficients).
nb::object rows_record(const kernels::LinearRows& rows) {
    nb::list constants;
    for (const kernels::LinearNumber& constant : rows.constants) constants.append(number(constant));
    std::vector<std::int32_t> columns(rows.columns.begin(), rows.columns.end());
    std::vector<std::int64_t> integers(rows.values.size(), 0);
    std::vector<double> reals(rows.values.size(), 0.0);
    std::string integral(rows.ends.size(), '\1');
    bool any_integral = false;
    bool any_real = false;
    std::size_t start = 0;
    for (std::size_t row = 0; row < rows.ends.size(); ++row) {
        const std::size_t end = rows.ends[row];
        bool ints = true;
        for (std::size_t k = start; k < end; ++k) ints = ints && rows.values[k].integral;
        integral[row] = ints ? '\1' : '\0';
        for (std::size_t k = start; k < end; ++k) {
            if (ints) integers[k] = rows.values[k].integer;
            else reals[k] = rows.values[k].as_real();
        }
        any_integral = any_integral || ints;
        any_real = any_real || !ints;
        start = end;
    }
    std::vector<std::int64_t> ends(rows.ends.begin(), rows.ends.end());
    return nb::make_tuple(constants, buffer(ends), buffer(columns), any_integral ? buffer(integers) : nb::none(),
                          any_real ? buffer(reals) : nb::none(), nb::bytes(integral.data(), integral.size()),
                          rows.height);
}

}  // namespace

void bind_linear_rows(nb::module_& m) {
    m.def(
        "read_linear_rows",
        [](nb::handle text, nb::handle fors, nb::dict blocks) -> nb::object {
            const auto utf8 = utf8_text_or_none(text);
            const auto clauses = utf8_text_or_none(fors);
            if (!utf8 || !clauses) return nb::none();
            Blocks known(std::move(blocks));
            const auto rows = kernels::read_linear_rows(
                *utf8, *clauses, [&known](std::string_view name) { return known.find(name); });
            return rows ? rows_record(*rows) : nb::none();
        },
        nb::arg("text"), nb::arg("fors"), nb::arg("blocks"),
        "The rows of the text linear model's formula text over the for clauses `fors`, read in one pass (see "
        "linear_rows.hpp): (constants, ends, columns, integers, reals, integral, height), the buffers int64 "
        "ends, int32 columns, int64 and float64 values (None where no row has them) and one byte per row, 1 "
        "where its values are ints; None for a text that the checked evaluation must read. `blocks` maps a "
        "variable name to (first column, sizes, strides).");
}
