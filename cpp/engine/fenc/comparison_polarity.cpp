#include "engine/fenc/comparison_polarity.hpp"

#include <stdexcept>

#include "engine/fenc/shape.hpp"

namespace corvane::fenc {
namespace {

struct Node {
    ShapeToken token;
    std::uint32_t first_child;  // into the child list
    std::uint32_t child_count;
    std::uint32_t comparison;  // Compare: its place among the comparisons
};

Polarity flipped(Polarity p) {
    switch (p) {
        case Polarity::Holds: return Polarity::Fails;
        case Polarity::Fails: return Polarity::Holds;
        default: return Polarity::Either;
    }
}

}  // namespace

std::vector<Polarity> comparison_polarities(std::span<const std::int64_t> shape) {
    // The postfix shape as a tree: each node's children are consecutive in `children`.
    std::vector<Node> nodes;
    std::vector<std::uint32_t> children, stack;
    std::uint32_t comparisons = 0;
    for (ShapeReader reader(shape); !reader.done();) {
        const ShapeNode node = reader.next();
        if (stack.size() < node.operands) throw std::logic_error("corrupt formula shape");
        const auto first = static_cast<std::uint32_t>(children.size());
        children.insert(children.end(), stack.end() - static_cast<std::ptrdiff_t>(node.operands), stack.end());
        stack.resize(stack.size() - node.operands);
        const std::uint32_t comparison = node.token == kCompare ? comparisons++ : 0;
        stack.push_back(static_cast<std::uint32_t>(nodes.size()));
        nodes.push_back({node.token, first, static_cast<std::uint32_t>(node.operands), comparison});
    }
    if (stack.size() != 1) throw std::logic_error("corrupt formula shape");

    std::vector<Polarity> polarities(comparisons, Polarity::Holds);
    std::vector<std::pair<std::uint32_t, Polarity>> work{{stack.back(), Polarity::Holds}};
    while (!work.empty()) {
        const auto [index, polarity] = work.back();
        work.pop_back();
        const Node& node = nodes[index];
        const auto child = [&](std::uint32_t k) { return children[node.first_child + k]; };
        switch (node.token) {
            case kCompare: polarities[node.comparison] = polarity; break;
            case kNot: work.emplace_back(child(0), flipped(polarity)); break;
            case kAnd:
            case kOr:
                for (std::uint32_t k = 0; k < node.child_count; ++k) work.emplace_back(child(k), polarity);
                break;
            case kXor:
            case kEq:
                for (std::uint32_t k = 0; k < node.child_count; ++k) work.emplace_back(child(k), Polarity::Either);
                break;
            case kImpl:
                work.emplace_back(child(0), flipped(polarity));
                work.emplace_back(child(1), polarity);
                break;
            case kIte:
                work.emplace_back(child(0), Polarity::Either);
                work.emplace_back(child(1), polarity);
                work.emplace_back(child(2), polarity);
                break;
            case kLiteral:
            case kOne:
            case kZero: break;
        }
    }
    return polarities;
}

}  // namespace corvane::fenc
