#include "kernels/template_texts.hpp"

#include <algorithm>

#include "engine/dravo/text.hpp"

namespace tarvo::kernels {

namespace {

using corvane::dravo::Expr;
using corvane::dravo::Kind;

bool append_literal(const Expr& literal, LiteralTexts& out) {
    std::string text = corvane::dravo::to_string(literal);
    if (text.find('(') != std::string::npos) {
        std::replace(text.begin(), text.end(), '~', '-');
        out.texts.push_back(std::move(text));
        return true;
    }
    // Quoted as Python's repr quotes it when nothing needs an escape.
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c < 0x7f && c != '\'' && c != '\\'; })) {
        return false;
    }
    out.texts.push_back("'" + text + "'");
    return true;
}

bool append_clause(const Expr& clause, LiteralTexts& out) {
    if (clause->kind() == Kind::Or) {
        for (const Expr& literal : clause->args()) {
            if (!append_literal(literal, out)) return false;
        }
    } else if (!append_literal(clause, out)) {
        return false;
    }
    out.clause_ends.push_back(out.texts.size());
    return true;
}

}  // namespace

std::optional<LiteralTexts> literal_texts_of(const Expr& formula) {
    LiteralTexts texts;
    if (formula->kind() == Kind::And) {
        for (const Expr& clause : formula->args()) {
            if (!append_clause(clause, texts)) return std::nullopt;
        }
    } else if (!append_clause(formula, texts)) {
        return std::nullopt;
    }
    return texts;
}

}  // namespace tarvo::kernels
