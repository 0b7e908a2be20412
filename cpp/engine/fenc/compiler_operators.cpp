#include "engine/fenc/compiler_internal.hpp"

namespace corvane::fenc::detail {
namespace {

int binding_power(const Pending& p) {
    if (p.kind == PendingKind::Prefix) return p.op == TokenKind::Star ? 1 : 30;
    switch (p.op) {
        case TokenKind::Plus:
        case TokenKind::Minus: return 10;
        case TokenKind::Star: return 20;
        case TokenKind::DoubleStar: return 40;
        default: return 0;
    }
}

}  // namespace

std::string_view describe(Value value) {
    switch (value) {
        case Value::Int: return "an integer";
        case Value::Pb: return "a pseudo-Boolean sum";
        case Value::Bool: return "a Boolean formula";
        case Value::Ref: return "a variable reference without .to_pb() or .to_bx()";
        case Value::List: return "a list";
        case Value::Range: return "a range";
        case Value::Starred: return "a starred list";
        case Value::Comparison: return "a FormulaPB comparison without .to_bx(manager)";
        case Value::Objective: return "a FormulaPB objective";
        case Value::Name: return "a name that is no value";
    }
    return "";
}

void Compiler::push_binary(Pending op) {
    const int power = binding_power(op);
    const bool right_assoc = op.op == TokenKind::DoubleStar;
    while (!pending_.empty() && !is_group(pending_.back())) {
        const int top = binding_power(pending_.back());
        if (top > power || (top == power && !right_assoc)) {
            apply_operator();
        } else {
            break;
        }
    }
    pending_.push_back(std::move(op));
}

void Compiler::require(const Operand& x, Value value, std::uint32_t position, std::string_view what) const {
    if (x.value != value) fail_at(position, std::string(what) + ", got " + std::string(describe(x.value)));
}

void Compiler::apply_operator() {
    const Pending op = std::move(pending_.back());
    pending_.pop_back();
    if (op.kind == PendingKind::Prefix) {
        apply_prefix(op);
    } else {
        apply_binary(op);
    }
}

void Compiler::apply_prefix(const Pending& op) {
    Operand& x = operands_.back();
    switch (op.op) {
        case TokenKind::Minus:
            require(x, Value::Int, op.position, "'-' needs an integer");
            emit(Op::Neg, op.position);
            return;
        case TokenKind::Plus:
            require(x, Value::Int, op.position, "'+' needs an integer");
            return;
        case TokenKind::Tilde:
            require(x, Value::Bool, op.position, "'~' needs a Boolean formula");
            emit(Op::BoolNot, op.position);
            x.position = op.position;
            return;
        default:  // '*' before a list
            require(x, Value::List, op.position, "'*' needs a list");
            x.value = Value::Starred;
            return;
    }
}

void Compiler::apply_binary(const Pending& op) {
    Operand b = operands_.back();
    operands_.pop_back();
    Operand& a = operands_.back();
    const bool ints = a.value == Value::Int && b.value == Value::Int;
    switch (op.op) {
        case TokenKind::Plus:
        case TokenKind::Minus:
            if (ints) {
                emit(op.op == TokenKind::Plus ? Op::Add : Op::Sub, op.position);
            } else if (a.value == Value::Pb && b.value == Value::Pb) {
                emit(op.op == TokenKind::Plus ? Op::PbAdd : Op::PbSub, op.position);
            } else {
                fail_at(op.position, std::string("cannot combine ") + std::string(describe(a.value)) + " and " +
                                         std::string(describe(b.value)) + " with '" +
                                         (op.op == TokenKind::Plus ? "+" : "-") + "'");
            }
            return;
        case TokenKind::Star:
            if (ints) {
                emit(Op::Mul, op.position);
            } else if (a.value == Value::Int && b.value == Value::Pb) {
                emit(Op::PbScale, op.position);
                a.value = Value::Pb;
            } else if ((a.value == Value::Pb || a.value == Value::Ref) && b.value == Value::Int) {
                // An expression times a coefficient expression puts the term on the left, and an element
                // reference there has no .to_pb(): x(i) * (2 ** i). Its term must be built before the
                // factor is pushed, so the reference's code gets its PbRef right where it ends.
                if (a.value == Value::Ref) {
                    program_.main.insert(program_.main.begin() + b.code_start,
                                         Instr{Op::PbRef, a.payload, a.count, 0, a.position});
                    a.value = Value::Pb;
                }
                emit(Op::PbScale, op.position);
            } else {
                fail_at(op.position, "'*' multiplies a pseudo-Boolean sum by an integer, got " +
                                         std::string(describe(a.value)) + " and " + std::string(describe(b.value)));
            }
            return;
        default:  // '**'
            if (!ints) fail_at(op.position, "'**' needs integers");
            emit(Op::Pow, op.position);
            return;
    }
}

}  // namespace corvane::fenc::detail
