#include "engine/fenc/compiler.hpp"

#include "engine/fenc/compiler_internal.hpp"
#include "engine/fenc/text_error.hpp"

namespace corvane::fenc {
namespace detail {

Compiler::Compiler(std::string text, ValueKind expected, const Declarations& declarations,
                   const std::vector<Forall>& foralls)
    : declarations_(declarations), foralls_(foralls) {
    program_.text = std::move(text);
    program_.kind = expected;
    program_.slot_count = static_cast<std::uint32_t>(foralls.size());
}

Program Compiler::run() {
    const std::string_view text = program_.text;
    tokens_ = tokenize(text);
    bool expect_operand = true;
    for (pos_ = 0; tokens_[pos_].kind != TokenKind::End; ++pos_) {
        poll_.step();
        const Token& t = tokens_[pos_];
        if (expect_operand) {
            expect_operand = operand_token(t);
        } else {
            expect_operand = operator_token(t);
        }
    }
    if (expect_operand) fail(tokens_[pos_], "expected an operand");
    reduce_to_group();
    if (!pending_.empty()) fail(tokens_[pos_], "expected ')' or ']'");
    if (operands_.size() != 1) fail(tokens_[pos_], "expected one expression");
    finish_root();
    return std::move(program_);
}

void Compiler::fail(const Token& at, const std::string& what) const {
    throw TextError(program_.text, at.position, what);
}

void Compiler::fail_at(std::uint32_t position, const std::string& what) const {
    throw TextError(program_.text, position, what);
}

bool Compiler::operand_token(const Token& t) {
    const auto position = static_cast<std::uint32_t>(t.position);
    switch (t.kind) {
        case TokenKind::Integer:
            push(Value::Int, here(), position);
            emit(Op::PushInt, position, 0, 0, t.value);
            return false;
        case TokenKind::Name:
            name_operand(t);
            return false;
        case TokenKind::Minus:
        case TokenKind::Plus:
        case TokenKind::Tilde:
        case TokenKind::Star:
            pending_.push_back({PendingKind::Prefix, t.kind, position});
            return true;
        case TokenKind::LParen:
        case TokenKind::LBracket:
        case TokenKind::LBrace:
            return open_group(t);
        case TokenKind::RParen:
        case TokenKind::RBracket:
        case TokenKind::RBrace:
            // A trailing comma: "(3,)" or "[0, 1,]".
            if (!pending_.empty() && is_group(pending_.back()) && pending_.back().comma &&
                operands_.size() > pending_.back().height && last_was_comma()) {
                close_group(t);
                return false;
            }
            fail(t, "expected an operand");
        default:
            fail(t, "expected an operand");
    }
}

bool Compiler::last_was_comma() const { return pos_ > 0 && tokens_[pos_ - 1].kind == TokenKind::Comma; }

bool Compiler::operator_token(const Token& t) {
    const auto position = static_cast<std::uint32_t>(t.position);
    switch (t.kind) {
        case TokenKind::Plus:
        case TokenKind::Minus:
        case TokenKind::Star:
        case TokenKind::DoubleStar:
            push_binary(Pending{PendingKind::Binary, t.kind, position});
            return true;
        case TokenKind::LParen: {
            Pending group{PendingKind::Call, t.kind, position};
            group.height = static_cast<std::uint32_t>(operands_.size());
            pending_.push_back(std::move(group));
            if (peek_next().kind == TokenKind::RParen) {
                ++pos_;
                close_group(tokens_[pos_]);
                return false;
            }
            return true;
        }
        case TokenKind::Dot: {
            const Token& name = peek_next();
            if (name.kind != TokenKind::Name) fail(name, "expected an attribute name");
            ++pos_;
            attribute(name);
            return false;
        }
        case TokenKind::Comma: {
            reduce_to_group();
            if (pending_.empty()) fail(t, "unexpected ','");
            Pending& group = pending_.back();
            if (group.kind == PendingKind::Comprehension) fail(t, "unexpected ',' in a comprehension");
            group.comma = true;
            return true;
        }
        case TokenKind::Name:
            if (t.text == "for") {
                loop_clause(t);
                return true;
            }
            fail(t, "expected an operator");
        case TokenKind::RParen:
        case TokenKind::RBracket:
        case TokenKind::RBrace:
            close_group(t);
            return false;
        default:
            fail(t, "expected an operator");
    }
}

std::uint32_t Compiler::name_id(std::string_view name) {
    if (const auto found = name_ids_.find(name); found != name_ids_.end()) return found->second;
    const auto id = static_cast<std::uint32_t>(names_.size());
    names_.emplace_back(name);
    name_ids_.emplace(names_.back(), id);
    return id;
}

void Compiler::finish_root() {
    Operand& root = operands_.back();
    const bool boolean = program_.kind == ValueKind::Boolean;
    if (root.value == Value::Ref) {  // a lone element reference
        emit(boolean ? Op::BoolRef : Op::PbRef, root.position, root.payload, root.count);
        root.value = boolean ? Value::Bool : Value::Pb;
    }
    if (boolean && root.value != Value::Bool) {
        fail_at(0, "a constraint must be a Boolean formula, got " + std::string(describe(root.value)));
    }
    if (!boolean && root.value != Value::Pb) {
        fail_at(0, "expected a pseudo-Boolean sum, got " + std::string(describe(root.value)));
    }
    bind_names();
}

// Turns every load of a name into a load of the slot that binds it: the
// innermost loop around it of that name, else the forall. One walk over
// the code and the comprehension blocks, in their scopes: a loop's name
// is bound in the loops after it and in the element, and there it hides
// a declared variable of that name, which then cannot be referenced.
void Compiler::bind_names() {
    struct Task {
        enum class Kind : std::uint8_t { Visit, Bind, Unbind } kind;
        Code* code = nullptr;
        std::uint32_t name = 0, slot = 0;
    };
    std::vector<std::vector<std::uint32_t>> slots(names_.size());  // by name id, innermost last
    std::vector<std::uint32_t> loops_binding(names_.size(), 0);
    for (std::uint32_t k = 0; k < foralls_.size(); ++k) {
        // A forall that the text does not name binds nothing.
        if (const auto id = name_ids_.find(foralls_[k].name); id != name_ids_.end()) slots[id->second].push_back(k);
    }
    const Instr* unbound = nullptr;  // the first in the text
    std::vector<Task> tasks{{Task::Kind::Visit, &program_.main}};
    while (!tasks.empty()) {
        const Task task = tasks.back();
        tasks.pop_back();
        if (task.kind != Task::Kind::Visit) {
            if (task.kind == Task::Kind::Bind) {
                slots[task.name].push_back(task.slot);
                ++loops_binding[task.name];
            } else {
                slots[task.name].pop_back();
                --loops_binding[task.name];
            }
            continue;
        }
        for (Instr& instr : *task.code) {
            poll_.step();
            if (instr.op == Op::LoadName) {
                if (!slots[instr.a].empty()) {
                    instr.op = Op::LoadSlot;
                    instr.a = slots[instr.a].back();
                } else if (unbound == nullptr || instr.position < unbound->position) {
                    unbound = &instr;
                }
            } else if (instr.op == Op::PbRef || instr.op == Op::BoolRef) {
                const std::string& name = declarations_.at(instr.a).name;
                const auto id = name_ids_.find(name);
                if (id != name_ids_.end() && id->second < loops_binding.size() && loops_binding[id->second] > 0) {
                    fail_at(instr.position, quoted(name) + " is a loop variable here, not the declared variable");
                }
            } else if (instr.op == Op::Comprehension) {
                // Run in reverse: each loop's values, then its binding; the element; the unbindings.
                ComprehensionBlock& block = program_.blocks[instr.a];
                const std::vector<std::uint32_t>& loop_names = loop_names_[instr.a];
                for (std::uint32_t name : loop_names) tasks.push_back({Task::Kind::Unbind, nullptr, name});
                tasks.push_back({Task::Kind::Visit, &block.element});
                for (std::size_t k = block.clauses.size(); k-- > 0;) {
                    tasks.push_back({Task::Kind::Bind, nullptr, loop_names[k], block.clauses[k].slot});
                    tasks.push_back({Task::Kind::Visit, &block.clauses[k].iterable});
                }
            }
        }
    }
    if (unbound != nullptr) {
        fail_at(unbound->position,
                "index " + quoted(names_[unbound->a]) + " is bound neither by the foralls nor by a loop");
    }
}

}  // namespace detail

Program compile(std::string text, ValueKind expected, const Declarations& declarations,
                const std::vector<Forall>& foralls) {
    return detail::Compiler(std::move(text), expected, declarations, foralls).run();
}

}  // namespace corvane::fenc
