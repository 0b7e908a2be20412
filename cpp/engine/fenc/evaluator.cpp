#include "engine/fenc/evaluator.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "engine/fenc/limits.hpp"
#include "engine/fenc/shape.hpp"
#include "engine/fenc/text_error.hpp"

namespace corvane::fenc {
namespace {

// Pushed in place of an item count after a range's start, step and length.
constexpr std::int64_t kRangeMark = -1;

std::int64_t checked_add(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r)) throw std::overflow_error("integer overflow in the expression text");
    return r;
}
std::int64_t checked_sub(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_sub_overflow(a, b, &r)) throw std::overflow_error("integer overflow in the expression text");
    return r;
}
std::int64_t checked_mul(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_mul_overflow(a, b, &r)) throw std::overflow_error("integer overflow in the expression text");
    return r;
}

}  // namespace

void Evaluator::fail(const Instr& instr, const std::string& what) const {
    throw TextError(program_->text, instr.position, what);
}

std::int64_t Evaluator::pop_int() {
    const std::int64_t v = ints_.back();
    ints_.pop_back();
    return v;
}

void Evaluator::run(const Program& program, const Declarations& declarations,
                    std::span<const std::int64_t> forall_values) {
    program_ = &program;
    declarations_ = &declarations;
    boolean_ = program.kind == ValueKind::Boolean;
    activations_.clear();
    levels_.clear();
    loop_values_.clear();
    ints_.clear();
    sum_starts_.clear();
    terms_.clear();
    shape_.clear();
    variables_.clear();
    slots_.assign(program.slot_count, 0);
    std::copy(forall_values.begin(), forall_values.end(), slots_.begin());
    const auto elements = static_cast<std::size_t>(declarations.element_count()) + 1;
    if (stamp_.size() < elements) {
        stamp_.resize(elements, 0);
        renumbered_.resize(elements, 0);
    }
    if (++current_stamp_ == 0) {  // wrapped: forget every old stamp
        std::fill(stamp_.begin(), stamp_.end(), 0);
        current_stamp_ = 1;
    }

    activations_.push_back({&program.main});
    while (!activations_.empty()) {
        poll_.step();
        const std::size_t top = activations_.size() - 1;
        Activation& act = activations_[top];
        if (act.block >= 0) {
            step_comprehension(top);
        } else if (act.pc == act.code->size()) {
            activations_.pop_back();
        } else {
            const Instr& instr = (*act.code)[act.pc++];
            execute(instr);  // may push an activation
        }
    }
}

void Evaluator::step_comprehension(std::size_t index) {
    Activation& act = activations_[index];
    const ComprehensionBlock& block = program_->blocks[static_cast<std::size_t>(act.block)];
    if (act.awaiting == Activation::Awaiting::Iterable) {
        const std::int64_t n = pop_int();
        if (n == kRangeMark) {
            IntRange range;
            range.length = static_cast<std::uint64_t>(pop_int());
            range.step = pop_int();
            range.start = pop_int();
            levels_.push_back({loop_values_.size(), 0, range.length, range});
        } else {
            const std::size_t begin = loop_values_.size();
            const auto count = static_cast<std::size_t>(n);
            loop_values_.insert(loop_values_.end(), ints_.end() - static_cast<std::ptrdiff_t>(count), ints_.end());
            ints_.resize(ints_.size() - count);
            levels_.push_back({begin, 0, count, std::nullopt});
        }
    } else if (act.awaiting == Activation::Awaiting::Element) {
        ++act.produced;
    }
    act.awaiting = Activation::Awaiting::Nothing;
    if (!act.started) {
        act.started = true;
        act.awaiting = Activation::Awaiting::Iterable;
        const Code* code = &block.clauses[0].iterable;
        activations_.push_back({code});
        return;
    }
    while (true) {
        const std::size_t depth = levels_.size() - act.level_base;
        if (depth == 0) {
            ints_.push_back(act.produced);
            activations_.pop_back();
            return;
        }
        Level& level = levels_.back();
        if (level.next == level.length) {
            loop_values_.resize(level.begin);
            levels_.pop_back();
            continue;
        }
        const LoopClause& clause = block.clauses[depth - 1];
        const std::uint64_t k = level.next++;
        slots_[clause.slot] = level.range ? level.range->value(k) : loop_values_[level.begin + k];
        const bool innermost = depth == block.clauses.size();
        act.awaiting = innermost ? Activation::Awaiting::Element : Activation::Awaiting::Iterable;
        const Code* code = innermost ? &block.element : &block.clauses[depth].iterable;
        activations_.push_back({code});
        return;
    }
}

std::int64_t Evaluator::element(const Instr& instr) {
    const Declaration& d = declarations_->at(instr.a);
    const std::size_t n = instr.b;
    const std::int64_t* indexes = ints_.data() + ints_.size() - n;
    std::int64_t number = d.first;
    for (std::size_t k = 0; k < n; ++k) {
        if (indexes[k] < 0 || indexes[k] >= d.sizes[k]) {
            std::string shown = d.name + "(", sizes;
            for (std::size_t j = 0; j < n; ++j) {
                if (j > 0) {
                    shown += ',';
                    sizes += ", ";
                }
                shown += std::to_string(indexes[j]);
                sizes += std::to_string(d.sizes[j]);
            }
            fail(instr, "element " + shown + ") is out of range: " + quoted(d.name) + " has the sizes " + sizes);
        }
        number += indexes[k] * d.strides[k];
    }
    ints_.resize(ints_.size() - n);
    return number;
}

std::int64_t Evaluator::variable_id(std::int64_t element_number) {
    if (!boolean_) return element_number;
    const auto e = static_cast<std::size_t>(element_number);
    if (stamp_[e] != current_stamp_) {
        stamp_[e] = current_stamp_;
        variables_.push_back(element_number);
        renumbered_[e] = static_cast<std::uint32_t>(variables_.size());
    }
    return renumbered_[e];
}

void Evaluator::execute(const Instr& instr) {
    switch (instr.op) {
        case Op::PushInt:
        case Op::Count:
            ints_.push_back(instr.value);
            return;
        case Op::LoadSlot:
            ints_.push_back(slots_[instr.a]);
            return;
        case Op::LoadName:
            fail(instr, "unresolved name");
        case Op::Neg:
            ints_.back() = checked_sub(0, ints_.back());
            return;
        case Op::Add:
        case Op::Sub:
        case Op::Mul: {
            const std::int64_t b = pop_int();
            std::int64_t& a = ints_.back();
            a = instr.op == Op::Add ? checked_add(a, b) : instr.op == Op::Sub ? checked_sub(a, b) : checked_mul(a, b);
            return;
        }
        case Op::Pow: {
            std::int64_t exponent = pop_int();
            std::int64_t base = ints_.back();
            if (exponent < 0) fail(instr, "a negative exponent does not give an integer");
            std::int64_t result = 1;
            while (exponent > 0) {
                if (exponent & 1) result = checked_mul(result, base);
                exponent >>= 1;
                if (exponent > 0) base = checked_mul(base, base);
            }
            ints_.back() = result;
            return;
        }
        case Op::Range: {
            const std::span<const std::int64_t> args = std::span(ints_).last(instr.a);
            const std::optional<IntRange> range = python_range(args);
            if (!range) fail(instr, "range step must not be zero");
            if (range->length > kMaxCount) {
                const std::int64_t stop = args.size() == 1 ? args[0] : args[1];
                fail(instr, "range(" + std::to_string(range->start) + ", " + std::to_string(stop) + ", " +
                                std::to_string(range->step) + ") has " + std::to_string(range->length) +
                                " values; a loop runs over at most " + std::to_string(kMaxCount));
            }
            ints_.resize(ints_.size() - args.size());
            ints_.insert(ints_.end(), {range->start, range->step, static_cast<std::int64_t>(range->length), kRangeMark});
            return;
        }
        case Op::Distinct: {
            const auto n = static_cast<std::size_t>(pop_int());
            const auto first = ints_.end() - static_cast<std::ptrdiff_t>(n);
            std::sort(first, ints_.end());
            const auto kept = std::unique(first, ints_.end());
            ints_.erase(kept, ints_.end());
            ints_.push_back(static_cast<std::int64_t>(kept - first));
            return;
        }
        case Op::Comprehension: {
            Activation act{nullptr};
            act.block = instr.a;
            act.level_base = levels_.size();
            activations_.push_back(act);
            return;
        }
        case Op::PbRef: {
            const std::int64_t var = variable_id(element(instr));
            sum_starts_.push_back(terms_.size());
            terms_.push_back({var, 1});
            return;
        }
        case Op::PbSub:
            for (std::size_t k = sum_starts_.back(); k < terms_.size(); ++k) {
                terms_[k].weight = checked_sub(0, terms_[k].weight);
            }
            sum_starts_.pop_back();
            return;
        case Op::PbAdd:
            sum_starts_.pop_back();
            return;
        case Op::PbScale: {
            const std::int64_t factor = pop_int();
            for (std::size_t k = sum_starts_.back(); k < terms_.size(); ++k) {
                terms_[k].weight = checked_mul(terms_[k].weight, factor);
            }
            return;
        }
        case Op::PbSum: {
            const auto n = static_cast<std::size_t>(pop_int());
            if (n == 0) {
                sum_starts_.push_back(terms_.size());
            } else {
                sum_starts_.resize(sum_starts_.size() - (n - 1));
            }
            return;
        }
        case Op::BoolRef:
            shape_.literal(variable_id(element(instr)));
            return;
        case Op::BoolConst:
            shape_.constant(instr.value != 0);
            return;
        case Op::BoolNot:
            shape_.negation();
            return;
        case Op::BoolNary:
            shape_.connective(static_cast<ShapeToken>(instr.a), pop_int());
            return;
        case Op::BoolImpl:
            shape_.implication();
            return;
        case Op::BoolIte:
            shape_.if_then_else();
            return;
        case Op::BoolCompare: {
            const std::int64_t bound = pop_int();
            const std::size_t start = sum_starts_.back();
            sum_starts_.pop_back();
            shape_.comparison(instr.a, bound, std::span(terms_).subspan(start));
            terms_.resize(start);
            return;
        }
    }
}

}  // namespace corvane::fenc
