#include "engine/fenc/clause_template.hpp"

#include <stdexcept>
#include <string>
#include <utility>

#include "engine/fenc/comparison_formula.hpp"
#include "engine/fenc/conjunction_template.hpp"

namespace corvane::fenc {
namespace {

// Shapes that differ per instance (e.g. a bound that grows with an index)
// would fill the cache without reuse; past this many it stops growing.
constexpr std::size_t kMaxCachedShapes = 1 << 16;

}  // namespace

std::size_t TemplateCache::ShapeHash::operator()(const Shape& shape) const {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ shape.size();
    for (std::int64_t v : shape) {
        h ^= static_cast<std::uint64_t>(v) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    }
    return static_cast<std::size_t>(h);
}

// The model's settings in container mode, so that both roads choose the same
// encoding for every comparison.
kelpa::PBConfig adder_config() {
    kelpa::PBConfig config;
    config.pb_encoder = kelpa::EncoderType::ADDER;
    config.max_clauses_per_constraint = 1000000;
    return config;
}

const ClauseTemplate& TemplateCache::get(const Shape& shape, std::int64_t variables) {
    if (auto it = cache_.find(shape); it != cache_.end()) return it->second;
    ClauseTemplate t = build(shape, variables);
    if (cache_.size() >= kMaxCachedShapes) {
        uncached_ = std::move(t);
        return uncached_;
    }
    return cache_.emplace(shape, std::move(t)).first->second;
}

dravo::Expr TemplateCache::variable(std::int64_t number, bool pb_aux) {
    auto& table = pb_aux ? pb_aux_variables_ : shape_variables_;
    const auto index = static_cast<std::size_t>(number);
    if (table.size() <= index) table.resize(index + 1);
    if (!table[index]) {
        std::string name(1, pb_aux ? 'a' : 'v');
        name += std::to_string(number);
        auto var = context_.get_var(name);
        if (number_of_context_id_.size() <= var->id()) number_of_context_id_.resize(var->id() + 1);
        number_of_context_id_[var->id()] = number;
        table[index] = std::move(var);
    }
    return table[index];
}

ClauseTemplate TemplateCache::build(std::span<const std::int64_t> shape, std::int64_t variables) {
    if (shortcuts_) {
        if (auto t = conjunction_template(shape, variables, config_, poll_)) return std::move(*t);
    }
    kelpa::AuxVarManager aux(variables + 1);
    std::vector<dravo::Expr> stack;
    auto pop_args = [&](std::size_t n) {
        if (stack.size() < n) throw std::logic_error("corrupt formula shape");
        std::vector<dravo::Expr> args(stack.end() - static_cast<std::ptrdiff_t>(n), stack.end());
        stack.resize(stack.size() - n);
        return args;
    };
    auto literal = [&](std::int64_t lit) {
        const std::int64_t number = lit > 0 ? lit : -lit;
        dravo::Expr v = variable(number, number > variables);
        return lit > 0 ? v : dravo::negate(v);
    };
    const std::vector<Polarity> polarities = comparison_polarities(shape);
    std::size_t placed = 0;
    ComparisonFormulas comparisons(config_, aux, literal);
    for (ShapeReader reader(shape); !reader.done();) {
        poll_.step();
        const ShapeNode node = reader.next();
        const std::vector<dravo::Expr> args = pop_args(node.operands);
        switch (node.token) {
            case kLiteral: stack.push_back(literal(node.variable)); break;
            case kOne: stack.push_back(dravo::one()); break;
            case kZero: stack.push_back(dravo::zero()); break;
            case kNot: stack.push_back(dravo::negate(args[0])); break;
            case kAnd: stack.push_back(dravo::and_s(args)); break;
            case kOr: stack.push_back(dravo::or_s(args)); break;
            case kXor: stack.push_back(dravo::xor_s(args)); break;
            case kEq: stack.push_back(dravo::eq_s(args)); break;
            case kImpl: stack.push_back(dravo::impl_s(args[0], args[1])); break;
            case kIte: stack.push_back(dravo::ite_s(args[0], args[1], args[2])); break;
            case kCompare: stack.push_back(comparisons.place(comparison_of(node), polarities[placed++])); break;
        }
    }
    if (stack.size() != 1) throw std::logic_error("corrupt formula shape");
    const dravo::Expr constraint = comparisons.joined(stack.back());

    ClauseTemplate t;
    t.variables = variables;
    t.pb_aux = aux.next_variable() - (variables + 1);
    std::int64_t next = variables + t.pb_aux;
    dravo::ClauseCallbacks callbacks{
        [&](const dravo::Variable& v) { return number_of_context_id_[v.id()]; },
        [&]() { return ++next; },
        [&](std::span<const dravo::Literal> clause) {
            poll_.step();
            t.clauses.add(clause);
        },
    };
    dravo::tseytin_clauses(constraint, callbacks);
    t.tseytin_aux = next - variables - t.pb_aux;
    return t;
}

}  // namespace corvane::fenc
