#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/var_mapping.hpp"

namespace corvane {

// Reads a solver's model back into the names of a variable mapping.
class WitnessInterpreter {
public:
    using Literal = std::int64_t;

    void set_var_mapping(std::shared_ptr<const VarMapping> mapping);
    // Name prefixes of auxiliary variables (e.g. encoder and Tseytin aux).
    void set_auxiliary_vars(std::vector<std::string> prefixes);

    // Snapshots the mapping into look-up tables. With `hide_auxiliary` the
    // names that start with one of the auxiliary prefixes are left out of
    // every interpretation. Returns true when the tables hold at least one
    // mapped name, false without a mapping or with an empty one.
    bool build_mapping_tables(bool hide_auxiliary);
    bool ready() const { return ready_; }

    // The truth value of every name in the tables, in mapping order. A
    // variable the model leaves out is false; literal 0 (the DIMACS line
    // terminator) is skipped. Throws std::logic_error before a successful
    // build_mapping_tables(), std::invalid_argument when the model holds a
    // variable both positive and negative, std::overflow_error for INT64_MIN.
    std::vector<std::pair<std::string, bool>> interpret(std::span<const Literal> model) const;

private:
    bool is_auxiliary(std::string_view name) const;
    // Whether some auxiliary prefix is longer than `start` and begins with it.
    bool reaches_beyond(std::string_view start) const;

    std::shared_ptr<const VarMapping> mapping_;
    std::vector<std::string> auxiliary_prefixes_;
    // The mapping's entries as they were when the tables were built, shared
    // with the mapping, and which of them an interpretation leaves out.
    std::shared_ptr<const MappingEntries> entries_;
    std::vector<bool> hidden_;
    std::size_t shown_count_ = 0;
    bool ready_ = false;
};

}  // namespace corvane
