#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/core/interruption.hpp"
#include "engine/fenc/declarations.hpp"
#include "engine/fenc/int_range.hpp"
#include "engine/fenc/program.hpp"
#include "engine/fenc/shape.hpp"
#include "engine/fenc/weighted_var.hpp"

namespace corvane::fenc {

// Runs a Program for one instance (one value per forall). A Boolean program
// yields its shape (shape.hpp) over variables renumbered in order of first
// appearance, with `variables()` giving the element number of each; a
// pseudo-Boolean program yields its terms over element numbers. Buffers are
// reused from instance to instance. Throws TextError for an element index
// out of range or a bad range, std::overflow_error when integer arithmetic
// leaves 64 bits.
class Evaluator {
public:
    void run(const Program& program, const Declarations& declarations, std::span<const std::int64_t> forall_values);

    const Shape& shape() const { return shape_.shape(); }
    const std::vector<std::int64_t>& variables() const { return variables_; }
    const std::vector<WeightedVar>& terms() const { return terms_; }

private:
    struct Activation {
        const Code* code;
        std::size_t pc = 0;
        // A running comprehension (block >= 0) instead of plain code.
        std::int64_t block = -1;
        std::size_t level_base = 0;
        std::int64_t produced = 0;
        bool started = false;
        enum class Awaiting : std::uint8_t { Nothing, Iterable, Element } awaiting = Awaiting::Nothing;
    };
    // One running loop: over its values in loop_values_ from `begin`, or
    // over a range.
    struct Level {
        std::size_t begin;
        std::uint64_t next, length;
        std::optional<IntRange> range;
    };

    void execute(const Instr& instr);
    void step_comprehension(std::size_t index);
    std::int64_t pop_int();
    std::int64_t element(const Instr& instr);
    std::int64_t variable_id(std::int64_t element_number);
    [[noreturn]] void fail(const Instr& instr, const std::string& what) const;

    const Program* program_ = nullptr;
    const Declarations* declarations_ = nullptr;
    bool boolean_ = true;

    std::vector<Activation> activations_;
    std::vector<Level> levels_;
    std::vector<std::int64_t> loop_values_;
    std::vector<std::int64_t> slots_;
    std::vector<std::int64_t> ints_;
    std::vector<std::size_t> sum_starts_;  // each pending sum is terms_[start, next start)
    std::vector<WeightedVar> terms_;
    ShapeWriter shape_;
    std::vector<std::int64_t> variables_;
    // Renumbering of element numbers, valid where stamp == current stamp.
    std::vector<std::uint32_t> stamp_;
    std::vector<std::uint32_t> renumbered_;
    std::uint32_t current_stamp_ = 0;
    InterruptionPoll poll_;  // counts across instances, which may each be short
};

}  // namespace corvane::fenc
