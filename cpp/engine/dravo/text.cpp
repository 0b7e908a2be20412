#include "engine/dravo/text.hpp"

#include <unordered_set>

namespace corvane::dravo {

namespace {

const char* head_of(Kind kind) {
    switch (kind) {
        case Kind::And: return "And(";
        case Kind::Or: return "Or(";
        case Kind::Xor: return "Xor(";
        case Kind::Eq: return "Eq(";
        case Kind::Impl: return "Impl(";
        case Kind::Ite: return "Ite(";
        default: return "";
    }
}

}  // namespace

std::string to_string(const Expr& e) {
    // Explicit stack of pending items: either a node to print or fixed text.
    struct Item {
        const Node* node;
        const char* text;
    };
    std::string out;
    std::vector<Item> work{{e.get(), nullptr}};
    while (!work.empty()) {
        Item item = work.back();
        work.pop_back();
        if (item.node == nullptr) {
            out += item.text;
            continue;
        }
        const Node& n = *item.node;
        switch (n.kind()) {
            case Kind::Zero: out += '0'; break;
            case Kind::One: out += '1'; break;
            case Kind::Variable: out += static_cast<const Variable&>(n).name(); break;
            case Kind::Not:
                out += '~';
                work.push_back({n.args().front().get(), nullptr});
                break;
            default: {
                out += head_of(n.kind());
                work.push_back({nullptr, ")"});
                const auto& args = n.args();
                for (std::size_t i = args.size(); i-- > 0;) {
                    work.push_back({args[i].get(), nullptr});
                    if (i > 0) work.push_back({nullptr, ", "});
                }
            }
        }
    }
    return out;
}

std::vector<std::shared_ptr<const Variable>> support(const Expr& e) {
    std::vector<std::shared_ptr<const Variable>> vars;
    std::unordered_set<const Node*> visited;
    std::vector<const Expr*> work{&e};
    while (!work.empty()) {
        const Expr& n = *work.back();
        work.pop_back();
        if (!visited.insert(n.get()).second) continue;
        if (n->kind() == Kind::Variable) vars.push_back(std::static_pointer_cast<const Variable>(n));
        for (auto it = n->args().rbegin(); it != n->args().rend(); ++it) work.push_back(&*it);
    }
    return vars;
}

}  // namespace corvane::dravo
