#include "kernels/template_texts.hpp"

#include <algorithm>
#include <map>
#include <utility>

#include "engine/dravo/text.hpp"
#include "kernels/python_names.hpp"

namespace tarvo::kernels {

namespace {

using corvane::dravo::Expr;
using corvane::dravo::Kind;
using corvane::dravo::Node;

// A literal's text is that of its operand, with "~" before it when negated:
// literals with the same key have the same text, which is written once.
using LiteralKey = std::pair<const Node*, bool>;

class FormulaTexts {
public:
    bool append_clause(const Expr& clause) {
        if (clause->kind() == Kind::Or) {
            for (const Expr& literal : clause->args()) {
                if (!append_literal(literal)) return false;
            }
        } else if (!append_literal(clause)) {
            return false;
        }
        texts_.clause_ends.push_back(texts_.literals.size());
        return true;
    }

    LiteralTexts take() { return std::move(texts_); }

private:
    bool append_literal(const Expr& literal) {
        const bool negated = literal->kind() == Kind::Not;
        const LiteralKey key{negated ? literal->args().front().get() : literal.get(), negated};
        auto [found, added] = positions_.try_emplace(key, texts_.texts.size());
        if (added) {
            auto text = literal_text(corvane::dravo::to_string(literal));
            if (!text) return false;
            texts_.texts.push_back(std::move(*text));
        }
        texts_.literals.push_back(found->second);
        return true;
    }

    LiteralTexts texts_;
    std::map<LiteralKey, std::size_t> positions_;
};

}  // namespace

std::optional<std::string> literal_text(std::string engine_text) {
    if (engine_text.find('(') != std::string::npos) {
        std::replace(engine_text.begin(), engine_text.end(), '~', '-');
        return engine_text;
    }
    // Quoted as Python's repr quotes it when nothing needs an escape.
    if (!std::all_of(engine_text.begin(), engine_text.end(), is_plain_quoted_char)) {
        return std::nullopt;
    }
    return "'" + engine_text + "'";
}

void LiteralTextsBuilder::add(std::string text) {
    auto [found, added] = positions_.try_emplace(text, texts_.texts.size());
    if (added) texts_.texts.push_back(std::move(text));
    texts_.literals.push_back(found->second);
}

std::optional<LiteralTexts> literal_texts_of(const Expr& formula) {
    FormulaTexts texts;
    if (formula->kind() == Kind::And) {
        for (const Expr& clause : formula->args()) {
            if (!texts.append_clause(clause)) return std::nullopt;
        }
    } else if (!texts.append_clause(formula)) {
        return std::nullopt;
    }
    return texts.take();
}

}  // namespace tarvo::kernels
