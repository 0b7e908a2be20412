#include "engine/fenc/compiler_internal.hpp"

namespace corvane::fenc::detail {

bool Compiler::open_group(const Token& t) {
    const auto position = static_cast<std::uint32_t>(t.position);
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

void Compiler::loop_clause(const Token& t) {
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

void Compiler::close_group(const Token& t) {
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
        case PendingKind::Comprehension: close_comprehension(group); return;
        case PendingKind::Prefix:
        case PendingKind::Binary: break;  // reduce_to_group left no operator on top
    }
}

TokenKind closing(PendingKind group) {
    switch (group) {
        case PendingKind::List:
        case PendingKind::Comprehension: return TokenKind::RBracket;
        case PendingKind::Set: return TokenKind::RBrace;
        case PendingKind::Paren:
        case PendingKind::Call:
        case PendingKind::Prefix:
        case PendingKind::Binary: break;
    }
    return TokenKind::RParen;
}

void Compiler::push_empty_list(std::uint32_t position) {
    operands_.push_back({Value::List, here(), position, std::nullopt});
    emit(Op::Count, position, 0, 0, 0);
}

// Only ever a loop's values. Iterating a set visits each value once; its order cannot change what a
// combinator yields, since every combinator's result is independent of the order of its members.
void Compiler::close_set(const Pending& group) {
    for (std::size_t k = group.height; k < operands_.size(); ++k) {
        require(operands_[k], Value::Int, operands_[k].position, "a set holds integers");
    }
    close_list(group);
    emit(Op::Distinct, group.position);
}

void Compiler::close_paren(const Pending& group) {
    if (!group.comma) return;  // grouping parentheses leave the operand as it is
    close_list(group);         // a tuple: only ever a loop's values
}

void Compiler::close_list(const Pending& group) {
    const std::size_t first = group.height;
    const std::size_t n = operands_.size() - first;
    const Value element = operands_[first].value;
    for (std::size_t k = first; k < operands_.size(); ++k) {
        const Operand& item = operands_[k];
        if (item.value != Value::Int && item.value != Value::Pb && item.value != Value::Bool) {
            fail_at(item.position, "a list item must be an integer, a pseudo-Boolean sum or a Boolean formula, got " +
                                       std::string(describe(item.value)));
        }
        if (item.value != element) fail_at(item.position, "list items of different kinds");
    }
    const std::uint32_t start = operands_[first].code_start;
    operands_.resize(first);
    operands_.push_back({Value::List, start, group.position, element});
    emit(Op::Count, group.position, 0, 0, static_cast<std::int64_t>(n));
}

void Compiler::close_comprehension(const Pending& group) {
    const std::size_t first = group.height;
    const std::size_t clause_count = group.loop_names.size();
    if (operands_.size() - first != clause_count + 1) fail_at(group.position, "malformed comprehension");
    const Operand element = operands_[first];
    if (element.value != Value::Int && element.value != Value::Pb && element.value != Value::Bool) {
        fail_at(element.position, "a comprehension must yield integers, sums or formulas, got " +
                                      std::string(describe(element.value)));
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
    operands_.push_back({Value::List, here(), group.position, element.value});
    emit(Op::Comprehension, group.position, block_id);
}

void Compiler::check_iterable(const Operand& o) const {
    const bool ints = o.value == Value::Range || (o.value == Value::List && (!o.element || o.element == Value::Int));
    if (!ints) fail_at(o.position, "a loop runs over a range, a list or a tuple of integers, got " +
                                       std::string(describe(o.value)));
}

}  // namespace corvane::fenc::detail
