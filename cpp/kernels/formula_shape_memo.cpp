#include "kernels/formula_shape_memo.hpp"

#include <algorithm>

#include "kernels/plain_clause.hpp"
#include "kernels/python_names.hpp"

namespace tarvo::kernels {

namespace {

// In a shape's key an element is this byte, then its slot; a text holding it has no shape.
constexpr char kElementMark = '\0';

}  // namespace

std::optional<FormulaShapeMemo::Shape> FormulaShapeMemo::shape(std::string_view text) const {
    if (text.size() > kMaxTextSize || text.find(kElementMark) != std::string_view::npos) return std::nullopt;
    Shape read;
    std::size_t at = 0;
    while (at < text.size()) {
        // A name starts where no name or attribute access goes on.
        const bool name_start = is_ascii_name_start(text[at]) &&
                                (at == 0 || (!is_ascii_name_char(text[at - 1]) && text[at - 1] != '.'));
        if (!name_start) {
            read.key.push_back(text[at++]);
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && is_ascii_name_char(text[end])) ++end;
        if (variables_.find(text.substr(at, end - at)) == nullptr || end == text.size() || text[end] != '(') {
            read.key.append(text.substr(at, end - at));
            at = end;
            continue;
        }
        const auto element = read_element_reference(variables_, text, at);
        if (!element || element->number <= 0) return std::nullopt;
        const auto slot = element_slot(*element, read.elements, read.names, kMaxElements);
        if (!slot) return std::nullopt;
        read.key.push_back(kElementMark);
        read.key.push_back(static_cast<char>(*slot + 1));
    }
    return read;
}

std::optional<RecalledFormula> FormulaShapeMemo::recall(std::string_view text) const {
    if (kept_.empty()) return std::nullopt;
    auto read = shape(text);
    if (!read) return std::nullopt;
    const auto found = kept_.find(read->key);
    if (found == kept_.end()) return std::nullopt;
    const KeptForm& kept = found->second;
    read->names.insert(read->names.end(), kept.aux_names.begin(), kept.aux_names.end());
    return RecalledFormula{{std::move(read->names), kept.literals, kept.clause_ends, 0}, kept.pb_shift, kept.bx_shift};
}

bool FormulaShapeMemo::wants(std::string_view text) const {
    const auto read = shape(text);
    return read && !kept_.contains(read->key);
}

bool FormulaShapeMemo::remember(std::string_view text, const std::vector<std::vector<std::string>>& clauses,
                                std::int64_t pb_shift, std::int64_t bx_shift) {
    const auto read = shape(text);
    if (!read) return false;
    KeptForm kept{{}, {}, {}, pb_shift, bx_shift};
    for (const auto& clause : clauses) {
        for (const std::string& literal : clause) {
            const bool negated = !literal.empty() && literal.front() == '~';
            const std::string_view name = std::string_view(literal).substr(negated ? 1 : 0);
            std::size_t slot = static_cast<std::size_t>(std::find(read->names.begin(), read->names.end(), name) -
                                                        read->names.begin());
            if (slot == read->names.size()) {
                if (name.find('(') != std::string_view::npos) return false;  // an element the text does not name
                const auto aux = std::find(kept.aux_names.begin(), kept.aux_names.end(), name);
                slot = read->names.size() + static_cast<std::size_t>(aux - kept.aux_names.begin());
                if (aux == kept.aux_names.end()) kept.aux_names.emplace_back(name);
            }
            const auto number = static_cast<std::int64_t>(slot + 1);
            kept.literals.push_back(negated ? -number : number);
        }
        kept.clause_ends.push_back(kept.literals.size());
    }
    if (kept.literals.size() > kMaxLiteralsKept) return false;
    if (kept_.size() == kMaxShapesKept || literals_kept_ + kept.literals.size() > kMaxLiteralsKept) {
        kept_.clear();
        literals_kept_ = 0;
    }
    const std::size_t literals = kept.literals.size();
    if (kept_.try_emplace(read->key, std::move(kept)).second) literals_kept_ += literals;
    return true;
}

}  // namespace tarvo::kernels
