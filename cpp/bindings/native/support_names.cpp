#include "bindings/native/support_names.hpp"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>

#include "engine/dravo/node.hpp"
#include "kernels/distinct_variables.hpp"
#include "kernels/numbered_template.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;

namespace {

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

void bind_support_names(nb::module_& m) {
    m.def("support_names", &support_names, nb::arg("formula"), nb::arg("marker"), nb::arg("indexed_only") = false,
          "(number of support variables whose name contains marker, [names that contain '(']), the names in "
          "no particular order; with indexed_only, only the names in which a Python name may follow the '(' "
          "(the template variables that may use an index)");
    m.def("support_names", &numbered_support_names, nb::arg("formula"), nb::arg("marker"),
          nb::arg("indexed_only") = false);
}
