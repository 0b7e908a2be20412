#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/core/packed_ints.hpp"
#include "engine/core/string_map.hpp"

namespace corvane {

// The entries of a name-to-number mapping, in the order they were added,
// kept in three forms:
//   - names given one by one: their text in one arena, their numbers packed,
//     found by a hash index of 32-bit ids;
//   - the elements of a declared variable, "x[0,0]", "x[0,1]", ... numbered
//     from a first number in row-major order: the variable's name and sizes;
//   - an aux block: instances n of formula f, each with the same aux
//     variables "<prefix>[f,n,k]" whose numbers grow by the block size from
//     one instance to the next: the block's numbers and its aux variables.
// Names of the last two forms are made when asked for, and read back by
// parsing them. A name is mapped once: an add that would map a name a
// second time is refused, and so is a declaration or block whose names
// could meet names already mapped (the same variable name or prefix used
// before in another form), so that every look-up has one answer.
class MappingEntries {
public:
    using Number = std::int64_t;

    struct AuxVariable {
        std::string_view prefix;
        std::int64_t aux_index = 0;
        Number first_number = 0;  // in the block's first instance
    };

    // Each add checks everything before it stores anything and throws
    //   std::invalid_argument  a negative number, size or count, a name given
    //                          twice, names that could meet names mapped before
    //   std::overflow_error    a number beyond INT64_MAX
    //   std::length_error      more than 2^32 - 2 names given one by one
    void add_name(std::string_view name, Number number);
    void add_elements(std::string_view variable, std::span<const std::int64_t> sizes, Number first);
    // Instances first_instance ... first_instance + instances - 1 of formula
    // `formula`; in instance first_instance + r the aux variable v has the
    // number v.first_number + r * block_size.
    void add_aux_block(std::int64_t formula, std::int64_t first_instance, std::int64_t instances,
                       std::int64_t block_size, std::span<const AuxVariable> variables);

    std::size_t size() const { return size_; }
    std::optional<Number> find_number(std::string_view name) const;
    // The largest number mapped, std::nullopt when there is none.
    std::optional<Number> largest_number() const;

    // Calls visit(name, number) for every entry in order; the name's view
    // lasts until visit returns.
    template <typename Visit>
    void visit(Visit&& visit) const;

    // Calls visit(start, count) for consecutive entries in order, `count` at
    // a time, whose names all begin with `start`: a name given one by one is
    // its own start, a block's names begin with their stem and "[".
    template <typename Visit>
    void visit_name_starts(Visit&& visit) const;

    // Number -> name. Built by inverse(), which throws std::invalid_argument
    // when two names share a number.
    class Inverse;
    std::shared_ptr<const Inverse> inverse() const;
    std::optional<std::string> find_name(const Inverse& inverse, Number number) const;

private:
    enum class Kind : std::uint8_t { Names, Elements, Aux };
    struct Segment {
        Kind kind;
        std::size_t index;  // Names: the first name id; else the block
        std::size_t count;  // entries
    };
    struct ElementBlock {
        std::string variable;
        std::vector<std::int64_t> sizes;
        Number first = 0;
        std::size_t segment = 0;
    };
    // Aux variables aux_index, aux_index + 1, ... of one prefix whose numbers
    // follow one another: a block of the PB encoder's or the Tseytin
    // transformation's aux variables is one run.
    struct AuxRun {
        std::uint32_t prefix;
        std::int64_t aux_index;
        Number offset;  // from the block's first number, in its first instance
        std::int64_t count;
    };
    struct AuxBlock {
        std::int64_t formula = 0, first_instance = 0, instances = 0, block_size = 0;
        Number first_number = 0, last_number = 0;
        std::vector<AuxRun> runs;
        std::size_t entries = 0;               // per instance: the runs' counts
        std::vector<std::uint32_t> by_key;     // runs by (prefix, first aux index)
        std::vector<std::uint32_t> by_offset;  // runs by first offset
        std::size_t segment = 0;
    };
    // What a name's text before its first '[' is used for.
    struct Stem {
        bool names = false;
        std::optional<std::size_t> element_block;
        std::optional<std::uint32_t> prefix;
    };

    std::string_view name_of_id(std::size_t id) const;
    Number number_of_id(std::size_t id) const { return names_numbers_[id]; }
    std::optional<std::size_t> find_id(std::string_view name) const;
    void index_id(std::size_t id);
    void add_segment(Kind kind, std::size_t index, std::size_t count);
    std::optional<Number> find_in_blocks(std::string_view name) const;
    void element_name(const ElementBlock& block, std::size_t k, std::string& out) const;
    void aux_name(const AuxBlock& block, std::int64_t r, std::uint32_t prefix, std::int64_t aux_index,
                  std::string& out) const;
    std::size_t segment_of_id(std::size_t id) const;

    std::size_t size_ = 0;
    std::vector<Segment> segments_;
    // Names given one by one: name id i is arena_[ends[i - 1], ends[i]).
    std::string names_arena_;
    PackedInts names_ends_{4};
    PackedInts names_numbers_;
    std::vector<std::uint32_t> names_slots_;  // open addressing; kEmpty where free
    std::vector<ElementBlock> element_blocks_;
    std::vector<AuxBlock> aux_blocks_;
    std::vector<std::string> prefixes_;
    StringMap<Stem> stems_;
    // The aux blocks of each (prefix, formula), by first instance.
    std::map<std::pair<std::uint32_t, std::int64_t>, std::vector<std::size_t>> aux_by_formula_;
};

class MappingEntries::Inverse {
public:
    struct Range {
        Number low, high;
        Kind kind;
        std::size_t block;
    };
    std::vector<Range> ranges;           // element and aux blocks by low number, disjoint
    std::vector<std::uint32_t> by_number;  // name ids by number
};

template <typename Visit>
void MappingEntries::visit(Visit&& visit) const {
    std::string name;
    for (const Segment& segment : segments_) {
        switch (segment.kind) {
            case Kind::Names:
                for (std::size_t id = segment.index; id < segment.index + segment.count; ++id) {
                    visit(name_of_id(id), number_of_id(id));
                }
                break;
            case Kind::Elements: {
                const ElementBlock& block = element_blocks_[segment.index];
                for (std::size_t k = 0; k < segment.count; ++k) {
                    element_name(block, k, name);
                    visit(std::string_view(name), block.first + static_cast<Number>(k));
                }
                break;
            }
            case Kind::Aux: {
                const AuxBlock& block = aux_blocks_[segment.index];
                for (std::int64_t r = 0; r < block.instances; ++r) {
                    for (const AuxRun& run : block.runs) {
                        for (std::int64_t k = 0; k < run.count; ++k) {
                            aux_name(block, r, run.prefix, run.aux_index + k, name);
                            visit(std::string_view(name), block.first_number + r * block.block_size + run.offset + k);
                        }
                    }
                }
                break;
            }
        }
    }
}

template <typename Visit>
void MappingEntries::visit_name_starts(Visit&& visit) const {
    std::string start;
    for (const Segment& segment : segments_) {
        switch (segment.kind) {
            case Kind::Names:
                for (std::size_t id = segment.index; id < segment.index + segment.count; ++id) visit(name_of_id(id), 1);
                break;
            case Kind::Elements:
                start = element_blocks_[segment.index].variable + "[";
                visit(std::string_view(start), segment.count);
                break;
            case Kind::Aux: {
                const AuxBlock& block = aux_blocks_[segment.index];
                for (std::int64_t r = 0; r < block.instances; ++r) {
                    for (const AuxRun& run : block.runs) {
                        start = prefixes_[run.prefix] + "[";
                        visit(std::string_view(start), static_cast<std::size_t>(run.count));
                    }
                }
                break;
            }
        }
    }
}

}  // namespace corvane
