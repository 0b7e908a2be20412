#include "engine/fenc/compiler_internal.hpp"

#include "engine/fenc/text_error.hpp"

namespace corvane::fenc::detail {
namespace {

// Whose attributes an operand has, if any.
std::optional<Owner> owner_of(const Operand& o) {
    switch (o.value) {
        case Value::Ref: return Owner::Ref;
        case Value::Comparison: return Owner::Comparison;
        case Value::Objective: return Owner::Objective;
        case Value::Name:
            if (o.name == Name::BxModule) return Owner::BxModule;
            if (o.name == Name::PbModule) return Owner::PbModule;
            if (o.name == Name::ComparatorType) return Owner::ComparatorType;
            return std::nullopt;
        case Value::Int:
        case Value::Pb:
        case Value::Bool:
        case Value::List:
        case Value::Range:
        case Value::Starred: return std::nullopt;
    }
    return std::nullopt;
}

bool callable(const Operand& callee) {
    if (callee.value != Value::Name) return false;
    const Arity arity = word_of(callee.name).arity;
    return arity != Arity::NotCallable && arity != Arity::Refused;
}

}  // namespace

void Compiler::name_operand(const Token& t) {
    const auto position = static_cast<std::uint32_t>(t.position);
    const std::string_view name = t.text;
    if (name == "for" || name == "in") fail(t, "expected an operand");
    if (auto declaration = declarations_.find(name)) {
        push_name(Name::Variable, position);
        operands_.back().payload = *declaration;
        return;
    }
    if (const Word* word = find_word(Owner::Free, name)) {
        push_name(word->name, position);
        return;
    }
    push(Value::Int, here(), position);
    if (name == "True" || name == "False") {
        emit(Op::PushInt, position, 0, 0, name == "True" ? 1 : 0);
    } else {
        // Anything else is an index: bound by a loop around it or by the foralls.
        emit(Op::LoadName, position, name_id(name));
    }
}

void Compiler::attribute(const Token& name) {
    Operand& o = operands_.back();
    const std::optional<Owner> owner = owner_of(o);
    const Word* word = owner ? find_word(*owner, name.text) : nullptr;
    if (word == nullptr) {
        fail(name, "unknown attribute " + quoted(name.text) + " of " + std::string(describe(o.value)));
    }
    if (word->owner == Owner::ComparatorType) o.payload = word->payload;
    // Its call is refused, at the attribute.
    if (word->name == Name::ObjectiveToMaxsat) o.position = static_cast<std::uint32_t>(name.position);
    o.value = Value::Name;
    o.name = word->name;
}

void Compiler::close_call(const Pending& group) {
    const std::size_t first = group.height;
    const Operand callee = operands_[first - 1];
    // Read in place: the operands are popped once the call is checked and emitted.
    const std::span<const Operand> args(operands_.data() + first, operands_.size() - first);
    if (!callable(callee)) refuse_call(callee, group, args);
    const Word& word = word_of(callee.name);
    check_arity(word, callee, group, args.size());
    for (const Operand& a : args) check_argument(word, a);
    Operand result = callee;
    result.value = word.result;
    switch (callee.name) {
        case Name::Variable: {
            const Declaration& d = declarations_.at(callee.payload);
            if (args.size() != d.sizes.size()) {
                fail_at(callee.position, "variable " + quoted(d.name) + " takes " + std::to_string(d.sizes.size()) +
                                             " indexes, got " + std::to_string(args.size()));
            }
            result.count = static_cast<std::uint32_t>(args.size());
            break;
        }
        case Name::SetFn:  // set(): how an empty set prints
            operands_.resize(first - 1);
            push_empty_list(callee.position);
            return;
        case Name::RangeFn: emit(Op::Range, callee.position, static_cast<std::uint32_t>(args.size())); break;
        case Name::SumFn: emit(Op::PbSum, callee.position); break;
        case Name::FormulaFn: check_formula_pb(args, result); break;
        case Name::BxAnd:
        case Name::BxOr:
        case Name::BxXor:
        case Name::BxEq: emit(Op::BoolNary, callee.position, word.payload); break;
        case Name::BxImpl: emit(Op::BoolImpl, callee.position); break;
        case Name::BxIte: emit(Op::BoolIte, callee.position); break;
        case Name::BxOne:
        case Name::BxZero: emit(Op::BoolConst, callee.position, 0, 0, word.payload); break;
        case Name::RefToPb: emit(Op::PbRef, callee.position, callee.payload, callee.count); break;
        case Name::RefToBx: emit(Op::BoolRef, callee.position, callee.payload, callee.count); break;
        case Name::ComparisonToBx: emit(Op::BoolCompare, callee.position, callee.payload); break;
        case Name::BxModule:
        case Name::PbModule:
        case Name::ComparatorType:
        case Name::Comparator:
        case Name::Manager:
        case Name::PyNone:
        case Name::ObjectiveToMaxsat: refuse_call(callee, group, args);
    }
    operands_.resize(first - 1);
    operands_.push_back(result);
}

void Compiler::check_arity(const Word& word, const Operand& callee, const Pending& group, std::size_t count) const {
    const auto n = [](std::size_t k) { return std::to_string(k); };
    switch (word.arity) {
        case Arity::Named:
            if (count != word.min_args) {
                fail_at(group.position, std::string(word.spelling) + " takes " + n(word.min_args) + " argument" +
                                            (word.min_args == 1 ? "" : "s") + ", got " + n(count));
            }
            return;
        case Arity::BxNamed:
            if (count != word.min_args) {
                fail_at(callee.position,
                        "this bx function takes " + n(word.min_args) + " arguments, got " + n(count));
            }
            return;
        case Arity::Span:
            if (count < word.min_args || count > word.max_args) {
                fail_at(group.position, std::string(word.spelling) + " takes " + n(word.min_args) + " to " +
                                            n(word.max_args) + " integers");
            }
            return;
        case Arity::Declared:  // by the declaration, after the arguments
        case Arity::NotCallable:
        case Arity::Refused: return;
    }
}

void Compiler::check_argument(const Word& word, const Operand& argument) const {
    const std::string_view what = word.argument_error;
    const auto got = [&] { return std::string(what) + ", got " + std::string(describe(argument.value)); };
    switch (word.argument) {
        case Argument::None:
        case Argument::FormulaPB: return;  // none, or checked by position
        case Argument::Int: require(argument, Value::Int, argument.position, what); return;
        case Argument::Bool: require(argument, Value::Bool, argument.position, what); return;
        case Argument::BoolList:
            if (argument.value != Value::List || (argument.element && argument.element != Value::Bool)) {
                fail_at(argument.position, got());
            }
            return;
        case Argument::PbStarred:
            if (argument.value != Value::Starred || (argument.element && argument.element != Value::Pb)) {
                fail_at(argument.position, std::string(what));
            }
            return;
        case Argument::Manager:
            if (argument.value != Value::Name || argument.name != Name::Manager) fail_at(argument.position, got());
            return;
    }
}

void Compiler::check_formula_pb(std::span<const Operand> args, Operand& result) const {
    require(args[0], Value::Pb, args[0].position, "FormulaPB compares a pseudo-Boolean sum");
    auto names = [](const Operand& o, Name name) { return o.value == Value::Name && o.name == name; };
    if (names(args[1], Name::Comparator)) {
        require(args[2], Value::Int, args[2].position, "the bound must be an integer");
        result.value = Value::Comparison;
        result.payload = args[1].payload;
    } else if (names(args[1], Name::PyNone) && names(args[2], Name::PyNone)) {
        result.value = Value::Objective;
    } else {
        fail_at(args[1].position, "expected a pb.Comparator_type member and a bound, or None, None");
    }
}

void Compiler::refuse_call(const Operand& callee, const Pending& group, std::span<const Operand> args) const {
    if (callee.value == Value::Name && callee.name == Name::ObjectiveToMaxsat) {
        fail_at(callee.position, "an objective (to_maxsat) is not a constraint or a sum; "
                                 "give the pseudo-Boolean sum itself");
    }
    const std::uint32_t callee_end = args.empty() ? here() : args[0].code_start;
    if (callee.value == Value::Int && callee_end == callee.code_start + 1 &&
        program_.main[callee.code_start].op == Op::LoadName) {
        fail_at(callee.position, quoted(names_[program_.main[callee.code_start].a]) + " is not a declared variable");
    }
    fail_at(group.position, std::string(describe(callee.value)) + " cannot be called");
}

}  // namespace corvane::fenc::detail
