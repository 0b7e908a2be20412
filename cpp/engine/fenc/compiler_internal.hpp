#pragma once

// The compiler behind compile() (compiler.hpp): one shunting-yard parser
// that type-checks and emits code as it reduces. Its methods are grouped by
// job, one file each:
//   compiler.cpp            the driver: tokens in order, the whole text's
//                           kind, binding names to slots
//   compiler_operators.cpp  prefix and binary operators and their type rules
//   compiler_groups.cpp     parentheses, tuples, lists, sets, comprehensions
//   compiler_calls.cpp      names, attributes and calls, by the vocabulary
//                           (vocabulary.hpp)

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/interruption.hpp"
#include "engine/core/string_map.hpp"
#include "engine/fenc/declarations.hpp"
#include "engine/fenc/foralls.hpp"
#include "engine/fenc/lexer.hpp"
#include "engine/fenc/program.hpp"
#include "engine/fenc/vocabulary.hpp"

namespace corvane::fenc::detail {

// A value or a name on the parser's stack; its code is program_.main from code_start on.
struct Operand {
    Value value;
    std::uint32_t code_start;
    std::uint32_t position;
    std::optional<Value> element = std::nullopt;  // List / Starred: the kind of the items; none when empty
    Name name = Name::Variable;                   // Value::Name: what it names
    std::uint32_t payload = 0;  // Variable, Ref: the declaration; Comparator, Comparison: the comparator
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

inline bool is_group(const Pending& p) { return p.kind != PendingKind::Prefix && p.kind != PendingKind::Binary; }
// How an operand is named in messages.
std::string_view describe(Value value);

class Compiler {
public:
    Compiler(std::string text, ValueKind expected, const Declarations& declarations,
             const std::vector<Forall>& foralls);
    Program run();

private:
    // compiler.cpp
    bool operand_token(const Token& t);  // each returns whether an operand is still expected
    bool operator_token(const Token& t);
    bool last_was_comma() const;
    const Token& peek_next() const { return tokens_[pos_ + 1]; }
    [[noreturn]] void fail(const Token& at, const std::string& what) const;
    [[noreturn]] void fail_at(std::uint32_t position, const std::string& what) const;
    std::uint32_t here() const { return static_cast<std::uint32_t>(program_.main.size()); }
    // The small steps of every token, inline.
    void emit(Op op, std::uint32_t position, std::uint32_t a = 0, std::uint32_t b = 0, std::int64_t value = 0) {
        program_.main.push_back({op, a, b, value, position});
    }
    void push(Value value, std::uint32_t code_start, std::uint32_t position) {
        operands_.push_back({value, code_start, position});
    }
    std::uint32_t name_id(std::string_view name);
    void finish_root();
    void bind_names();

    // compiler_operators.cpp
    void push_binary(Pending op);  // after applying the pending operators that bind tighter
    void apply_operator();
    void apply_prefix(const Pending& op);
    void apply_binary(const Pending& op);
    void require(const Operand& x, Value value, std::uint32_t position, std::string_view what) const;
    void reduce_to_group() {
        while (!pending_.empty() && !is_group(pending_.back())) apply_operator();
    }

    // compiler_groups.cpp
    bool open_group(const Token& t);  // whether an operand is still expected
    void loop_clause(const Token& t);
    void close_group(const Token& t);
    void push_empty_list(std::uint32_t position);
    void close_set(const Pending& group);
    void close_paren(const Pending& group);
    void close_list(const Pending& group);
    void close_comprehension(const Pending& group);
    void check_iterable(const Operand& o) const;

    // compiler_calls.cpp
    void name_operand(const Token& t);
    void attribute(const Token& name);
    void close_call(const Pending& group);
    void check_arity(const Word& word, const Operand& callee, const Pending& group, std::size_t count) const;
    void check_argument(const Word& word, const Operand& argument) const;
    void check_formula_pb(std::span<const Operand> args, Operand& result) const;
    [[noreturn]] void refuse_call(const Operand& callee, const Pending& group, std::span<const Operand> args) const;
    void push_name(Name name, std::uint32_t position) {
        operands_.push_back({Value::Name, here(), position, std::nullopt, name});
    }

    const Declarations& declarations_;
    const std::vector<Forall>& foralls_;
    Program program_;
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    std::vector<Operand> operands_;
    std::vector<Pending> pending_;
    std::vector<std::string> names_;  // by name id
    StringMap<std::uint32_t> name_ids_;
    std::vector<std::vector<std::uint32_t>> loop_names_;  // by comprehension block
    InterruptionPoll poll_;
};

// The token that closes a group of that kind.
TokenKind closing(PendingKind group);

}  // namespace corvane::fenc::detail
