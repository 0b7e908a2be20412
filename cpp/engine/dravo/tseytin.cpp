#include "engine/dravo/tseytin.hpp"

#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>

#include "engine/dravo/build.hpp"
#include "engine/dravo/transformer.hpp"

namespace corvane::dravo {

namespace {

// Literal expression of a clause literal, one node per distinct literal.
class LiteralNodes {
public:
    explicit LiteralNodes(std::vector<Expr> variables) : positive_(std::move(variables)), negative_(positive_.size()) {}
    const Expr& of(Literal lit) {
        const auto v = static_cast<std::size_t>(lit > 0 ? lit : -lit) - 1;
        if (lit > 0) return positive_[v];
        if (!negative_[v]) negative_[v] = negate(positive_[v]);
        return negative_[v];
    }

private:
    std::vector<Expr> positive_, negative_;
};

// The names prefix + "_" + k for the new variables, refused when the
// formula already has a variable of one of them: that variable would then
// also serve as an auxiliary and lose its meaning.
std::vector<std::string> new_names(std::string_view prefix, std::size_t count, const Transformer& transformer) {
    const std::string stem = std::string(prefix) + "_";
    std::vector<std::string> names;
    for (std::size_t k = 0; k < count; ++k) names.push_back(stem + std::to_string(k));
    if (count == 0) return names;
    const std::unordered_set<std::string_view> taken(names.begin(), names.end());
    for (const Variable* v : transformer.variables())
        if (taken.contains(v->name()))
            throw std::invalid_argument("the formula already has a variable named '" + v->name() +
                                        "', a name the transformation needs for a new variable");
    return names;
}

}  // namespace

void tseytin_clauses(const Expr& root, const ClauseCallbacks& callbacks) { Transformer(root).emit(callbacks); }

Expr tseytin(const Expr& root, Context& context, std::string_view prefix) {
    if (prefix.find('~') != std::string_view::npos)
        throw std::invalid_argument("prefix must not contain '~': '" + std::string(prefix) + "'");
    const Transformer transformer(root);
    // Clause numbers: index + 1 into `numbered`; an auxiliary holds nullptr
    // until its named variable exists.
    std::vector<Expr> numbered;
    std::vector<std::size_t> fresh;  // positions of the auxiliaries in `numbered`
    std::vector<Literal> literals;   // the clauses, flat
    std::vector<std::size_t> ends;   // end of each clause in `literals`
    transformer.emit({
        [&](const Variable& v) {
            numbered.push_back(v.shared_from_this());
            return static_cast<Literal>(numbered.size());
        },
        [&] {
            fresh.push_back(numbered.size());
            numbered.emplace_back();
            return static_cast<Literal>(numbered.size());
        },
        [&](std::span<const Literal> lits) {
            literals.insert(literals.end(), lits.begin(), lits.end());
            ends.push_back(literals.size());
        },
    });
    if (ends.empty()) return one();
    if (literals.empty()) return zero();  // the one empty clause

    const std::vector<std::string> names = new_names(prefix, fresh.size(), transformer);
    for (std::size_t k = 0; k < fresh.size(); ++k) numbered[fresh[k]] = context.get_var(names[k]);

    LiteralNodes nodes(std::move(numbered));
    std::vector<Expr> conjuncts;
    conjuncts.reserve(ends.size());
    std::size_t begin = 0;
    for (std::size_t end : ends) {
        if (end - begin == 1) {
            conjuncts.push_back(nodes.of(literals[begin]));
        } else {
            std::vector<Expr> lits;
            lits.reserve(end - begin);
            for (std::size_t i = begin; i < end; ++i) lits.push_back(nodes.of(literals[i]));
            conjuncts.push_back(or_(std::move(lits)));
        }
        begin = end;
    }
    return conjuncts.size() == 1 ? conjuncts.front() : and_(std::move(conjuncts));
}

}  // namespace corvane::dravo
