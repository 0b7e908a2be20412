#include "engine/fenc/compiler.hpp"

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "engine/core/interruption.hpp"
#include "engine/fenc/lexer.hpp"
#include "engine/fenc/shape.hpp"
#include "engine/fenc/text_error.hpp"

namespace corvane::fenc {
namespace {

// What an operand on the parser's stack stands for. Only Int, Pb, Bool, Ref,
// List and Iterable carry code; the others are names and members that only
// make sense as the callee of a call or the object of an attribute.
enum class Val : std::uint8_t {
    Int, Pb, Bool, Ref, List, Iterable, Starred,
    VarFn, RangeFn, SetFn, SumFn, FormulaFn, Bx, BxFn, PbModule, ComparatorType, Comparator, None, Manager,
    Comparison, Objective, RefToPb, RefToBx, ComparisonToBx, ObjectiveToMaxsat,
};

enum class BxFn : std::uint8_t { And, Or, Xor, Eq, Impl, Ite, One, Zero };

struct Operand {
    Val val;
    std::uint32_t code_start;
    std::uint32_t position;
    Val element = Val::Int;   // List / Starred: the type of the items (None when empty)
    std::uint32_t payload = 0;  // declaration, BxFn, comparator
    std::uint32_t count = 0;    // Ref: number of indexes
};

enum class PendingKind : std::uint8_t { Prefix, Binary, Paren, Call, List, Set, Comprehension };

struct Pending {
    Pending(PendingKind kind_, TokenKind op_, std::uint32_t position_) : kind(kind_), op(op_), position(position_) {}

    PendingKind kind;
    TokenKind op;  // Prefix / Binary: the operator token
    std::uint32_t position;
    std::uint32_t height = 0;  // groups: operand stack height at the opening
    bool comma = false;
    std::vector<std::uint32_t> loop_names;  // comprehension: target name ids, outermost first
};

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

bool is_group(const Pending& p) { return p.kind != PendingKind::Prefix && p.kind != PendingKind::Binary; }

std::string_view describe(Val v) {
    switch (v) {
        case Val::Int: return "an integer";
        case Val::Pb: return "a pseudo-Boolean sum";
        case Val::Bool: return "a Boolean formula";
        case Val::Ref: return "a variable reference without .to_pb() or .to_bx()";
        case Val::List: return "a list";
        case Val::Iterable: return "a range";
        case Val::Starred: return "a starred list";
        case Val::Comparison: return "a FormulaPB comparison without .to_bx(manager)";
        case Val::Objective: return "a FormulaPB objective";
        default: return "a name that is no value";
    }
}

class Compiler {
public:
    Compiler(std::string text, ValueKind expected, const Declarations& declarations,
             const std::vector<Forall>& foralls)
        : declarations_(declarations), foralls_(foralls) {
        program_.text = std::move(text);
        program_.kind = expected;
        program_.slot_count = static_cast<std::uint32_t>(foralls.size());
    }

    Program run() {
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

private:
    // ---- tokens -------------------------------------------------------------

    const Token& peek_next() const { return tokens_[pos_ + 1]; }

    [[noreturn]] void fail(const Token& at, const std::string& what) const {
        throw TextError(program_.text, at.position, what);
    }
    [[noreturn]] void fail_at(std::uint32_t position, const std::string& what) const {
        throw TextError(program_.text, position, what);
    }

    std::uint32_t here() const { return static_cast<std::uint32_t>(program_.main.size()); }
    void emit(Op op, std::uint32_t position, std::uint32_t a = 0, std::uint32_t b = 0, std::int64_t value = 0) {
        program_.main.push_back({op, a, b, value, position});
    }
    void push(Val val, std::uint32_t code_start, std::uint32_t position) {
        operands_.push_back({val, code_start, position});
    }

    // Returns whether an operand is still expected.
    bool operand_token(const Token& t) {
        const auto position = static_cast<std::uint32_t>(t.position);
        switch (t.kind) {
            case TokenKind::Integer:
                push(Val::Int, here(), position);
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
            case TokenKind::LBrace: {
                // A loop's values may also be written as a set, or as {} (an empty dict).
                const PendingKind kind = t.kind == TokenKind::LParen     ? PendingKind::Paren
                                         : t.kind == TokenKind::LBracket ? PendingKind::List
                                                                         : PendingKind::Set;
                if (peek_next().kind == closing(kind)) {  // (), [] or {}
                    ++pos_;
                    push_empty_list(position);
                    return false;
                }
                Pending group{kind, t.kind, position};
                group.height = static_cast<std::uint32_t>(operands_.size());
                pending_.push_back(std::move(group));
                return true;
            }
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

    bool last_was_comma() const { return pos_ > 0 && tokens_[pos_ - 1].kind == TokenKind::Comma; }

    bool operator_token(const Token& t) {
        const auto position = static_cast<std::uint32_t>(t.position);
        switch (t.kind) {
            case TokenKind::Plus:
            case TokenKind::Minus:
            case TokenKind::Star:
            case TokenKind::DoubleStar: {
                Pending op{PendingKind::Binary, t.kind, position};
                const int power = binding_power(op);
                const bool right_assoc = t.kind == TokenKind::DoubleStar;
                while (!pending_.empty() && !is_group(pending_.back())) {
                    const int top = binding_power(pending_.back());
                    if (top > power || (top == power && !right_assoc)) {
                        apply_operator();
                    } else {
                        break;
                    }
                }
                pending_.push_back(std::move(op));
                return true;
            }
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

    // ---- names and attributes ------------------------------------------------

    void name_operand(const Token& t) {
        const auto position = static_cast<std::uint32_t>(t.position);
        const std::string_view name = t.text;
        if (name == "for" || name == "in") fail(t, "expected an operand");
        if (auto declaration = declarations_.find(name)) {
            push(Val::VarFn, here(), position);
            operands_.back().payload = *declaration;
            return;
        }
        struct Reserved {
            std::string_view name;
            Val val;
        };
        static constexpr Reserved kReserved[] = {
            {"bx", Val::Bx},          {"pb", Val::PbModule},     {"manager", Val::Manager},
            {"FormulaPB", Val::FormulaFn}, {"Sum", Val::SumFn}, {"range", Val::RangeFn},
            {"set", Val::SetFn},      {"None", Val::None},
        };
        for (const Reserved& r : kReserved) {
            if (r.name == name) {
                push(r.val, here(), position);
                return;
            }
        }
        if (name == "True" || name == "False") {
            push(Val::Int, here(), position);
            emit(Op::PushInt, position, 0, 0, name == "True" ? 1 : 0);
            return;
        }
        // Anything else is an index: bound by a loop around it or by the foralls.
        push(Val::Int, here(), position);
        emit(Op::LoadName, position, name_id(name));
    }

    std::uint32_t name_id(std::string_view name) {
        if (const auto found = name_ids_.find(name); found != name_ids_.end()) return found->second;
        const auto id = static_cast<std::uint32_t>(names_.size());
        names_.emplace_back(name);
        name_ids_.emplace(names_.back(), id);
        return id;
    }

    void attribute(const Token& name) {
        Operand& o = operands_.back();
        const std::string_view a = name.text;
        auto bad = [&]() { fail(name, "unknown attribute " + quoted(a) + " of " + std::string(describe(o.val))); };
        switch (o.val) {
            case Val::Bx: {
                static constexpr std::pair<std::string_view, BxFn> kFns[] = {
                    {"and_s", BxFn::And}, {"or_s", BxFn::Or},   {"xor_s", BxFn::Xor}, {"eq_s", BxFn::Eq},
                    {"impl_s", BxFn::Impl}, {"ite_s", BxFn::Ite}, {"one", BxFn::One}, {"zero", BxFn::Zero},
                };
                for (const auto& [fn_name, fn] : kFns) {
                    if (fn_name == a) {
                        o.val = Val::BxFn;
                        o.payload = static_cast<std::uint32_t>(fn);
                        return;
                    }
                }
                bad();
                return;
            }
            case Val::PbModule:
                if (a != "Comparator_type") bad();
                o.val = Val::ComparatorType;
                return;
            case Val::ComparatorType:
                if (a == "LEQ" || a == "GEQ" || a == "BOTH") {
                    o.val = Val::Comparator;
                    o.payload = a == "LEQ" ? 0 : a == "GEQ" ? 1 : 2;
                    return;
                }
                bad();
                return;
            case Val::Ref:
                if (a == "to_pb") o.val = Val::RefToPb;
                else if (a == "to_bx") o.val = Val::RefToBx;
                else bad();
                return;
            case Val::Comparison:
                if (a != "to_bx") bad();
                o.val = Val::ComparisonToBx;
                return;
            case Val::Objective:
                if (a != "to_maxsat") bad();
                o.val = Val::ObjectiveToMaxsat;
                o.position = static_cast<std::uint32_t>(name.position);
                return;
            default:
                bad();
        }
    }

    // ---- operators -------------------------------------------------------------

    void apply_operator() {
        const Pending op = std::move(pending_.back());
        pending_.pop_back();
        if (op.kind == PendingKind::Prefix) {
            Operand& x = operands_.back();
            switch (op.op) {
                case TokenKind::Minus:
                    require(x, Val::Int, op.position, "'-' needs an integer");
                    emit(Op::Neg, op.position);
                    return;
                case TokenKind::Plus:
                    require(x, Val::Int, op.position, "'+' needs an integer");
                    return;
                case TokenKind::Tilde:
                    require(x, Val::Bool, op.position, "'~' needs a Boolean formula");
                    emit(Op::BoolNot, op.position);
                    x.position = op.position;
                    return;
                default:  // '*' before a list
                    require(x, Val::List, op.position, "'*' needs a list");
                    x.val = Val::Starred;
                    return;
            }
        }
        Operand b = operands_.back();
        operands_.pop_back();
        Operand& a = operands_.back();
        const bool ints = a.val == Val::Int && b.val == Val::Int;
        switch (op.op) {
            case TokenKind::Plus:
            case TokenKind::Minus:
                if (ints) {
                    emit(op.op == TokenKind::Plus ? Op::Add : Op::Sub, op.position);
                } else if (a.val == Val::Pb && b.val == Val::Pb) {
                    emit(op.op == TokenKind::Plus ? Op::PbAdd : Op::PbSub, op.position);
                } else {
                    fail_at(op.position, std::string("cannot combine ") + std::string(describe(a.val)) + " and " +
                                             std::string(describe(b.val)) + " with '" +
                                             (op.op == TokenKind::Plus ? "+" : "-") + "'");
                }
                return;
            case TokenKind::Star:
                if (ints) {
                    emit(Op::Mul, op.position);
                } else if (a.val == Val::Int && b.val == Val::Pb) {
                    emit(Op::PbScale, op.position);
                    a.val = Val::Pb;
                } else if ((a.val == Val::Pb || a.val == Val::Ref) && b.val == Val::Int) {
                    // An expression times a coefficient expression puts the term on the left, and an element
                    // reference there has no .to_pb(): x(i) * (2 ** i). Its term must be built before the
                    // factor is pushed, so the reference's code gets its PbRef right where it ends.
                    if (a.val == Val::Ref) {
                        program_.main.insert(program_.main.begin() + b.code_start,
                                             Instr{Op::PbRef, a.payload, a.count, 0, a.position});
                        a.val = Val::Pb;
                    }
                    emit(Op::PbScale, op.position);
                } else {
                    fail_at(op.position, "'*' multiplies a pseudo-Boolean sum by an integer, got " +
                                             std::string(describe(a.val)) + " and " + std::string(describe(b.val)));
                }
                return;
            default:  // '**'
                if (!ints) fail_at(op.position, "'**' needs integers");
                emit(Op::Pow, op.position);
                return;
        }
    }

    void require(const Operand& x, Val val, std::uint32_t position, const std::string& what) const {
        if (x.val != val) fail_at(position, what + ", got " + std::string(describe(x.val)));
    }

    void reduce_to_group() {
        while (!pending_.empty() && !is_group(pending_.back())) apply_operator();
    }

    // ---- groups ------------------------------------------------------------------

    void loop_clause(const Token& t) {
        reduce_to_group();
        if (pending_.empty()) fail(t, "'for' outside a list");
        Pending& group = pending_.back();
        const std::size_t items = operands_.size() - group.height;
        if (group.kind == PendingKind::List && !group.comma && items == 1) {
            group.kind = PendingKind::Comprehension;
        } else if (group.kind != PendingKind::Comprehension) {
            fail(t, "'for' outside a list");
        }
        const Token& target = tokens_[pos_ + 1];
        if (target.kind != TokenKind::Name || target.text == "for" || target.text == "in") {
            fail(target, "expected a loop variable name");
        }
        const Token& in = tokens_[pos_ + 2];
        if (in.kind != TokenKind::Name || in.text != "in") fail(in, "expected 'in'");
        group.loop_names.push_back(name_id(target.text));
        pos_ += 2;
    }

    void close_group(const Token& t) {
        reduce_to_group();
        if (pending_.empty()) fail(t, std::string("unmatched ") + std::string(token_spelling(t.kind)));
        Pending group = std::move(pending_.back());
        const TokenKind expected_close = closing(group.kind);
        if (t.kind != expected_close) fail(t, "expected " + std::string(token_spelling(expected_close)));
        pending_.pop_back();
        switch (group.kind) {
            case PendingKind::Paren: close_paren(group); return;
            case PendingKind::Call: close_call(group); return;
            case PendingKind::List: close_list(group); return;
            case PendingKind::Set: close_set(group); return;
            default: close_comprehension(group); return;
        }
    }

    static TokenKind closing(PendingKind group) {
        switch (group) {
            case PendingKind::List:
            case PendingKind::Comprehension: return TokenKind::RBracket;
            case PendingKind::Set: return TokenKind::RBrace;
            default: return TokenKind::RParen;
        }
    }

    void push_empty_list(std::uint32_t position) {
        operands_.push_back({Val::List, here(), position, Val::None});
        emit(Op::Count, position, 0, 0, 0);
    }

    // Only ever a loop's values. Iterating a set visits each value once; its order cannot change what a
    // combinator yields, since every combinator's result is independent of the order of its members.
    void close_set(const Pending& group) {
        for (std::size_t k = group.height; k < operands_.size(); ++k) {
            require(operands_[k], Val::Int, operands_[k].position, "a set holds integers");
        }
        close_list(group);
        emit(Op::Distinct, group.position);
    }

    void close_paren(const Pending& group) {
        if (!group.comma) return;  // grouping parentheses leave the operand as it is
        close_list(group);         // a tuple: only ever a loop's values
    }

    void close_list(const Pending& group) {
        const std::size_t first = group.height;
        const std::size_t n = operands_.size() - first;
        Val element = operands_[first].val;
        for (std::size_t k = first; k < operands_.size(); ++k) {
            const Operand& item = operands_[k];
            if (item.val != Val::Int && item.val != Val::Pb && item.val != Val::Bool) {
                fail_at(item.position, "a list item must be an integer, a pseudo-Boolean sum or a Boolean formula, got " +
                                           std::string(describe(item.val)));
            }
            if (item.val != element) fail_at(item.position, "list items of different kinds");
        }
        const std::uint32_t start = operands_[first].code_start;
        operands_.resize(first);
        operands_.push_back({Val::List, start, group.position, element});
        emit(Op::Count, group.position, 0, 0, static_cast<std::int64_t>(n));
    }

    void close_comprehension(const Pending& group) {
        const std::size_t first = group.height;
        const std::size_t clause_count = group.loop_names.size();
        if (operands_.size() - first != clause_count + 1) fail_at(group.position, "malformed comprehension");
        const Operand element = operands_[first];
        if (element.val != Val::Int && element.val != Val::Pb && element.val != Val::Bool) {
            fail_at(element.position, "a comprehension must yield integers, sums or formulas, got " +
                                          std::string(describe(element.val)));
        }
        ComprehensionBlock block;
        for (std::size_t k = 0; k < clause_count; ++k) {
            const Operand& iterable = operands_[first + 1 + k];
            check_iterable(iterable);
            const std::uint32_t end = k + 1 < clause_count ? operands_[first + 2 + k].code_start : here();
            block.clauses.push_back({program_.slot_count++, Code(program_.main.begin() + iterable.code_start,
                                                                 program_.main.begin() + end)});
        }
        block.element.assign(program_.main.begin() + element.code_start,
                             program_.main.begin() + operands_[first + 1].code_start);
        program_.main.resize(element.code_start);
        operands_.resize(first);
        const auto block_id = static_cast<std::uint32_t>(program_.blocks.size());
        program_.blocks.push_back(std::move(block));
        loop_names_.push_back(group.loop_names);
        operands_.push_back({Val::List, here(), group.position, element.val});
        emit(Op::Comprehension, group.position, block_id);
    }

    void check_iterable(const Operand& o) const {
        const bool ints = o.val == Val::Iterable || (o.val == Val::List && (o.element == Val::Int || o.element == Val::None));
        if (!ints) fail_at(o.position, "a loop runs over a range, a list or a tuple of integers, got " +
                                           std::string(describe(o.val)));
    }

    // ---- calls ---------------------------------------------------------------------

    void close_call(const Pending& group) {
        const std::size_t first = group.height;
        Operand callee = operands_[first - 1];
        const std::vector<Operand> args(operands_.begin() + first, operands_.end());
        operands_.resize(first - 1);
        Operand result = callee;
        auto arity = [&](std::size_t n, std::string_view what) {
            if (args.size() != n) {
                fail_at(group.position, std::string(what) + " takes " + std::to_string(n) + " argument" +
                                            (n == 1 ? "" : "s") + ", got " + std::to_string(args.size()));
            }
        };
        auto all = [&](Val val, std::string_view what) {
            for (const Operand& a : args) require(a, val, a.position, std::string(what));
        };
        switch (callee.val) {
            case Val::VarFn: {
                const Declaration& d = declarations_.at(callee.payload);
                all(Val::Int, "an index must be an integer");
                if (args.size() != d.sizes.size()) {
                    fail_at(callee.position, "variable " + quoted(d.name) + " takes " + std::to_string(d.sizes.size()) +
                                                 " indexes, got " + std::to_string(args.size()));
                }
                result.val = Val::Ref;
                result.count = static_cast<std::uint32_t>(args.size());
                break;
            }
            case Val::SetFn:  // set(): how an empty set prints
                arity(0, "set");
                push_empty_list(callee.position);
                return;
            case Val::RangeFn:
                if (args.empty() || args.size() > 3) fail_at(group.position, "range takes 1 to 3 integers");
                all(Val::Int, "range takes integers");
                emit(Op::Range, callee.position, static_cast<std::uint32_t>(args.size()));
                result.val = Val::Iterable;
                break;
            case Val::SumFn:
                arity(1, "Sum");
                if (args[0].val != Val::Starred || (args[0].element != Val::Pb && args[0].element != Val::None)) {
                    fail_at(args[0].position, "Sum takes one starred list of pseudo-Boolean sums");
                }
                emit(Op::PbSum, callee.position);
                result.val = Val::Pb;
                break;
            case Val::BxFn:
                bx_call(static_cast<BxFn>(callee.payload), callee, args, result);
                break;
            case Val::FormulaFn:
                arity(3, "FormulaPB");
                require(args[0], Val::Pb, args[0].position, "FormulaPB compares a pseudo-Boolean sum");
                if (args[1].val == Val::Comparator) {
                    require(args[2], Val::Int, args[2].position, "the bound must be an integer");
                    result.val = Val::Comparison;
                    result.payload = args[1].payload;
                } else if (args[1].val == Val::None && args[2].val == Val::None) {
                    result.val = Val::Objective;
                } else {
                    fail_at(args[1].position, "expected a pb.Comparator_type member and a bound, or None, None");
                }
                break;
            case Val::RefToPb:
            case Val::RefToBx:
                arity(0, callee.val == Val::RefToPb ? "to_pb" : "to_bx");
                emit(callee.val == Val::RefToPb ? Op::PbRef : Op::BoolRef, callee.position, callee.payload,
                     callee.count);
                result.val = callee.val == Val::RefToPb ? Val::Pb : Val::Bool;
                break;
            case Val::ComparisonToBx:
                arity(1, "to_bx");
                require(args[0], Val::Manager, args[0].position, "to_bx takes manager");
                emit(Op::BoolCompare, callee.position, callee.payload);
                result.val = Val::Bool;
                break;
            case Val::ObjectiveToMaxsat:
                fail_at(callee.position, "an objective (to_maxsat) is not a constraint or a sum; "
                                         "give the pseudo-Boolean sum itself");
            default:
                const std::uint32_t callee_end = args.empty() ? here() : args[0].code_start;
                if (callee.val == Val::Int && callee_end == callee.code_start + 1 &&
                    program_.main[callee.code_start].op == Op::LoadName) {
                    fail_at(callee.position,
                            quoted(names_[program_.main[callee.code_start].a]) + " is not a declared variable");
                }
                fail_at(group.position, std::string(describe(callee.val)) + " cannot be called");
        }
        operands_.push_back(result);
    }

    void bx_call(BxFn fn, const Operand& callee, const std::vector<Operand>& args, Operand& result) {
        auto count = [&](std::size_t n) {
            if (args.size() != n) {
                fail_at(callee.position, "this bx function takes " + std::to_string(n) + " arguments, got " +
                                             std::to_string(args.size()));
            }
        };
        result.val = Val::Bool;
        switch (fn) {
            case BxFn::And:
            case BxFn::Or:
            case BxFn::Xor:
            case BxFn::Eq: {
                count(1);
                if (args[0].val != Val::List || (args[0].element != Val::Bool && args[0].element != Val::None)) {
                    fail_at(args[0].position, "expected a list of Boolean formulas, got " +
                                                  std::string(describe(args[0].val)));
                }
                static constexpr ShapeToken kToken[] = {kAnd, kOr, kXor, kEq};
                emit(Op::BoolNary, callee.position, static_cast<std::uint32_t>(kToken[static_cast<int>(fn)]));
                return;
            }
            case BxFn::Impl:
            case BxFn::Ite:
                count(fn == BxFn::Impl ? 2 : 3);
                for (const Operand& a : args) require(a, Val::Bool, a.position, "expected a Boolean formula");
                emit(fn == BxFn::Impl ? Op::BoolImpl : Op::BoolIte, callee.position);
                return;
            default:
                count(0);
                emit(Op::BoolConst, callee.position, 0, 0, fn == BxFn::One ? 1 : 0);
                return;
        }
    }

    // ---- the whole text ----------------------------------------------------------------

    void finish_root() {
        Operand& root = operands_.back();
        const bool boolean = program_.kind == ValueKind::Boolean;
        if (root.val == Val::Ref) {  // a lone element reference
            emit(boolean ? Op::BoolRef : Op::PbRef, root.position, root.payload, root.count);
            root.val = boolean ? Val::Bool : Val::Pb;
        }
        if (boolean && root.val != Val::Bool) {
            fail_at(0, "a constraint must be a Boolean formula, got " + std::string(describe(root.val)));
        }
        if (!boolean && root.val != Val::Pb) {
            fail_at(0, "expected a pseudo-Boolean sum, got " + std::string(describe(root.val)));
        }
        bind_names();
    }

    // Turns every load of a name into a load of the slot that binds it: the
    // innermost loop around it of that name, else the forall. One walk over
    // the code and the comprehension blocks, in their scopes: a loop's name
    // is bound in the loops after it and in the element, and there it hides
    // a declared variable of that name, which then cannot be referenced.
    void bind_names() {
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

    const Declarations& declarations_;
    const std::vector<Forall>& foralls_;
    Program program_;
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    std::vector<Operand> operands_;
    std::vector<Pending> pending_;
    std::vector<std::string> names_;  // by name id
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, std::uint32_t, NameHash, std::equal_to<>> name_ids_;
    std::vector<std::vector<std::uint32_t>> loop_names_;  // by comprehension block
    InterruptionPoll poll_;
};

}  // namespace

Program compile(std::string text, ValueKind expected, const Declarations& declarations,
                const std::vector<Forall>& foralls) {
    return Compiler(std::move(text), expected, declarations, foralls).run();
}

}  // namespace corvane::fenc
