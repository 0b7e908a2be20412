#include "engine/core/mapping_entries.hpp"

#include <algorithm>
#include <charconv>
#include <functional>
#include <limits>
#include <stdexcept>
#include <tuple>

namespace corvane {

namespace {

constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();
// Ids are 32 bits, kEmpty marks a free slot.
constexpr std::size_t kMaxNames = kEmpty - 1;

void append_decimal(std::string& out, std::int64_t value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// The number a decimal is written as, when it is written as append_decimal
// writes it (no sign but '-', no leading zero): every name has one spelling.
std::optional<std::int64_t> canonical_decimal(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    std::string written;
    append_decimal(written, value);
    if (written != text) return std::nullopt;
    return value;
}

// The numbers of "stem[a,b,...]" after the stem, when there are `count` of them.
std::optional<std::vector<std::int64_t>> subscripts(std::string_view name, std::size_t open, std::size_t count) {
    if (name.back() != ']') return std::nullopt;
    std::vector<std::int64_t> values;
    std::string_view rest = name.substr(open + 1, name.size() - open - 2);
    if (count == 0) return rest.empty() ? std::optional(values) : std::nullopt;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t comma = k + 1 < count ? rest.find(',') : rest.size();
        if (comma == std::string_view::npos) return std::nullopt;
        const auto value = canonical_decimal(rest.substr(0, comma));
        if (!value) return std::nullopt;
        values.push_back(*value);
        rest.remove_prefix(std::min(rest.size(), comma + 1));
    }
    return values;
}

std::size_t slot_of(std::string_view name, std::size_t slots) { return std::hash<std::string_view>{}(name) & (slots - 1); }

std::string duplicate_number(std::int64_t number, const std::string& first, const std::string& second) {
    return "variable number " + std::to_string(number) + " is mapped by both '" + first + "' and '" + second + "'";
}

}  // namespace

std::string_view MappingEntries::name_of_id(std::size_t id) const {
    const auto begin = static_cast<std::size_t>(id == 0 ? 0 : names_ends_[id - 1]);
    return std::string_view(names_arena_).substr(begin, static_cast<std::size_t>(names_ends_[id]) - begin);
}

std::optional<std::size_t> MappingEntries::find_id(std::string_view name) const {
    if (names_slots_.empty()) return std::nullopt;
    for (std::size_t slot = slot_of(name, names_slots_.size());; slot = (slot + 1) & (names_slots_.size() - 1)) {
        const std::uint32_t id = names_slots_[slot];
        if (id == kEmpty) return std::nullopt;
        if (name_of_id(id) == name) return id;
    }
}

void MappingEntries::index_id(std::size_t id) {
    std::size_t slot = slot_of(name_of_id(id), names_slots_.size());
    while (names_slots_[slot] != kEmpty) slot = (slot + 1) & (names_slots_.size() - 1);
    names_slots_[slot] = static_cast<std::uint32_t>(id);
}

void MappingEntries::add_segment(Kind kind, std::size_t index, std::size_t count) {
    if (kind == Kind::Names && !segments_.empty() && segments_.back().kind == Kind::Names) {
        segments_.back().count += count;
    } else {
        segments_.push_back({kind, index, count});
    }
    size_ += count;
}

void MappingEntries::add_name(std::string_view name, Number number) {
    if (number < 0) {
        throw std::invalid_argument("variable number of '" + std::string(name) + "' must not be negative, got " +
                                    std::to_string(number));
    }
    if (find_number(name)) throw std::invalid_argument("name '" + std::string(name) + "' is mapped twice");
    const std::size_t id = names_numbers_.size();
    if (id >= kMaxNames) throw std::length_error("a mapping holds at most 4294967294 names given one by one");
    const std::size_t open = name.find('[');
    if (open != std::string_view::npos) stems_[std::string(name.substr(0, open))].names = true;
    names_arena_.append(name);
    names_ends_.push_back(static_cast<std::int64_t>(names_arena_.size()));
    names_numbers_.push_back(number);
    // At most three quarters full, so that a probe ends soon.
    if ((id + 1) * 4 > names_slots_.size() * 3) {
        names_slots_.assign(std::max<std::size_t>(16, names_slots_.size() * 2), kEmpty);
        for (std::size_t known = 0; known <= id; ++known) index_id(known);
    } else {
        index_id(id);
    }
    add_segment(Kind::Names, id, 1);
}

void MappingEntries::add_elements(std::string_view variable, std::span<const std::int64_t> sizes, Number first) {
    std::int64_t count = 1;
    for (const std::int64_t size : sizes) {
        if (size < 0) throw std::invalid_argument("a size of '" + std::string(variable) + "' is negative");
        if (__builtin_mul_overflow(count, size, &count)) {
            throw std::overflow_error("'" + std::string(variable) + "' has more than 2^63 elements");
        }
    }
    if (first < 0) {
        throw std::invalid_argument("the first number of '" + std::string(variable) + "' must not be negative, got " +
                                    std::to_string(first));
    }
    if (count > 0 && first > std::numeric_limits<Number>::max() - (count - 1)) {
        throw std::overflow_error("the numbers of '" + std::string(variable) + "' reach beyond 2^63 - 1");
    }
    if (variable.find_first_of("[],") != std::string_view::npos || stems_.contains(variable)) {
        throw std::invalid_argument("the element names of '" + std::string(variable) +
                                    "' could meet names mapped before");
    }
    if (count == 0) return;
    element_blocks_.push_back({std::string(variable), {sizes.begin(), sizes.end()}, first, segments_.size()});
    stems_[std::string(variable)].element_block = element_blocks_.size() - 1;
    add_segment(Kind::Elements, element_blocks_.size() - 1, static_cast<std::size_t>(count));
}

void MappingEntries::add_aux_block(std::int64_t formula, std::int64_t first_instance, std::int64_t instances,
                                   std::int64_t block_size, std::span<const AuxVariable> variables) {
    if (first_instance < 0 || instances < 0 || block_size < 0) {
        throw std::invalid_argument("an aux block's first instance, instance count and size must not be negative");
    }
    if (instances == 0 || variables.empty()) return;
    AuxBlock block;
    block.formula = formula, block.first_instance = first_instance;
    block.instances = instances, block.block_size = block_size;
    std::int64_t last_instance = 0;
    if (__builtin_add_overflow(first_instance, instances - 1, &last_instance)) {
        throw std::overflow_error("an aux block's instances reach beyond 2^63 - 1");
    }
    // New prefixes get the next ids in their order of appearance.
    std::vector<std::string_view> new_prefixes;
    std::vector<std::uint32_t> prefixes;
    Number low = std::numeric_limits<Number>::max(), high = 0;
    for (const AuxVariable& v : variables) {
        if (v.first_number < 0 || v.aux_index < 0) {
            throw std::invalid_argument("an aux variable's number and index must not be negative");
        }
        low = std::min(low, v.first_number);
        high = std::max(high, v.first_number);
        const auto stem = stems_.find(v.prefix);
        if (v.prefix.find_first_of("[],") != std::string_view::npos ||
            (stem != stems_.end() && (stem->second.names || stem->second.element_block))) {
            throw std::invalid_argument("the aux names of '" + std::string(v.prefix) + "' could meet names mapped before");
        }
        if (stem != stems_.end()) {
            prefixes.push_back(*stem->second.prefix);
            continue;
        }
        const auto seen = std::find(new_prefixes.begin(), new_prefixes.end(), v.prefix);
        prefixes.push_back(static_cast<std::uint32_t>(prefixes_.size() + (seen - new_prefixes.begin())));
        if (seen == new_prefixes.end()) new_prefixes.push_back(v.prefix);
    }
    // One window of numbers per instance, so that no two instances share a number.
    if (instances > 1 && high - low >= block_size) {
        throw std::invalid_argument("the aux variables of a block do not fit into its block size");
    }
    std::int64_t span = 0;
    if (__builtin_mul_overflow(instances - 1, block_size, &span) || __builtin_add_overflow(high, span, &block.last_number)) {
        throw std::overflow_error("an aux block's numbers reach beyond 2^63 - 1");
    }
    block.first_number = low;
    for (std::size_t e = 0; e < variables.size(); ++e) {
        const Number offset = variables[e].first_number - low;
        AuxRun* last = block.runs.empty() ? nullptr : &block.runs.back();
        if (last != nullptr && last->prefix == prefixes[e] && last->aux_index + last->count == variables[e].aux_index &&
            last->offset + last->count == offset) {
            ++last->count;
        } else {
            block.runs.push_back({prefixes[e], variables[e].aux_index, offset, 1});
        }
    }
    block.entries = variables.size();
    const auto order = [&](auto key) {
        std::vector<std::uint32_t> ids(block.runs.size());
        for (std::uint32_t e = 0; e < ids.size(); ++e) ids[e] = e;
        std::sort(ids.begin(), ids.end(), [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
        return ids;
    };
    block.by_key = order([&](std::uint32_t e) { return std::pair(block.runs[e].prefix, block.runs[e].aux_index); });
    block.by_offset = order([&](std::uint32_t e) { return block.runs[e].offset; });
    for (std::size_t k = 1; k < block.runs.size(); ++k) {
        const AuxRun &a = block.runs[block.by_key[k - 1]], &b = block.runs[block.by_key[k]];
        if (a.prefix == b.prefix && b.aux_index < a.aux_index + a.count) {
            throw std::invalid_argument("an aux variable is given twice in one aux block");
        }
        const AuxRun &c = block.runs[block.by_offset[k - 1]], &d = block.runs[block.by_offset[k]];
        if (d.offset < c.offset + c.count) {
            throw std::invalid_argument("two aux variables of one aux block share a number");
        }
    }
    // Blocks of one (prefix, formula) must hold different instances.
    std::vector<std::uint32_t> distinct(prefixes);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    for (const std::uint32_t prefix : distinct) {
        const auto found = aux_by_formula_.find({prefix, formula});
        if (found == aux_by_formula_.end()) continue;
        for (const std::size_t other : found->second) {
            const AuxBlock& o = aux_blocks_[other];
            if (first_instance <= o.first_instance + o.instances - 1 && o.first_instance <= last_instance) {
                throw std::invalid_argument("two aux blocks of formula " + std::to_string(formula) +
                                            " hold the same instance");
            }
        }
    }
    // Checked: from here on nothing throws but allocation.
    for (const std::string_view prefix : new_prefixes) {
        prefixes_.emplace_back(prefix);
        stems_[std::string(prefix)].prefix = static_cast<std::uint32_t>(prefixes_.size() - 1);
    }
    block.segment = segments_.size();
    aux_blocks_.push_back(std::move(block));
    const std::size_t index = aux_blocks_.size() - 1;
    for (const std::uint32_t prefix : distinct) {
        auto& blocks = aux_by_formula_[{prefix, formula}];
        const auto at = std::lower_bound(blocks.begin(), blocks.end(), first_instance, [&](std::size_t b, std::int64_t n) {
            return aux_blocks_[b].first_instance < n;
        });
        blocks.insert(at, index);
    }
    add_segment(Kind::Aux, index, static_cast<std::size_t>(instances) * aux_blocks_[index].entries);
}

std::optional<MappingEntries::Number> MappingEntries::find_number(std::string_view name) const {
    if (const auto id = find_id(name)) return number_of_id(*id);
    return find_in_blocks(name);
}

std::optional<MappingEntries::Number> MappingEntries::find_in_blocks(std::string_view name) const {
    const std::size_t open = name.find('[');
    if (open == std::string_view::npos) return std::nullopt;
    const auto stem = stems_.find(name.substr(0, open));
    if (stem == stems_.end()) return std::nullopt;
    if (stem->second.element_block) {
        const ElementBlock& block = element_blocks_[*stem->second.element_block];
        const auto values = subscripts(name, open, block.sizes.size());
        if (!values) return std::nullopt;
        Number k = 0;
        for (std::size_t d = 0; d < block.sizes.size(); ++d) {
            if ((*values)[d] < 0 || (*values)[d] >= block.sizes[d]) return std::nullopt;
            k = k * block.sizes[d] + (*values)[d];
        }
        return block.first + k;
    }
    if (!stem->second.prefix) return std::nullopt;
    const auto values = subscripts(name, open, 3);
    if (!values) return std::nullopt;
    const auto [formula, instance, aux_index] = std::tuple((*values)[0], (*values)[1], (*values)[2]);
    const auto blocks = aux_by_formula_.find({*stem->second.prefix, formula});
    if (blocks == aux_by_formula_.end()) return std::nullopt;
    const auto after = std::upper_bound(blocks->second.begin(), blocks->second.end(), instance,
                                        [&](std::int64_t n, std::size_t b) { return n < aux_blocks_[b].first_instance; });
    if (after == blocks->second.begin()) return std::nullopt;
    const AuxBlock& block = aux_blocks_[*(after - 1)];
    const std::int64_t r = instance - block.first_instance;
    if (r >= block.instances) return std::nullopt;
    const auto key = std::pair(*stem->second.prefix, aux_index);
    const auto after_run = std::upper_bound(block.by_key.begin(), block.by_key.end(), key, [&](const auto& k, std::uint32_t e) {
        return k < std::pair(block.runs[e].prefix, block.runs[e].aux_index);
    });
    if (after_run == block.by_key.begin()) return std::nullopt;
    const AuxRun& run = block.runs[*(after_run - 1)];
    if (run.prefix != key.first || aux_index >= run.aux_index + run.count) return std::nullopt;
    return block.first_number + r * block.block_size + run.offset + (aux_index - run.aux_index);
}

std::optional<MappingEntries::Number> MappingEntries::largest_number() const {
    std::optional<Number> largest;
    const auto take = [&](Number n) { largest = largest ? std::max(*largest, n) : n; };
    names_numbers_.visit(0, names_numbers_.size(), take);
    for (const ElementBlock& block : element_blocks_) {
        take(block.first + static_cast<Number>(segments_[block.segment].count) - 1);
    }
    for (const AuxBlock& block : aux_blocks_) take(block.last_number);
    return largest;
}

void MappingEntries::element_name(const ElementBlock& block, std::size_t k, std::string& out) const {
    out.assign(block.variable);
    out += '[';
    // Row-major: the last dimension runs fastest.
    char digits[24 * 8];
    std::vector<std::int64_t> values(block.sizes.size());
    auto rest = static_cast<std::int64_t>(k);
    for (std::size_t d = block.sizes.size(); d-- > 0;) {
        values[d] = rest % block.sizes[d];
        rest /= block.sizes[d];
    }
    for (std::size_t d = 0; d < values.size(); ++d) {
        if (d > 0) out += ',';
        out.append(digits, std::to_chars(digits, digits + sizeof digits, values[d]).ptr);
    }
    out += ']';
}

void MappingEntries::aux_name(const AuxBlock& block, std::int64_t r, std::uint32_t prefix, std::int64_t aux_index,
                              std::string& out) const {
    out.assign(prefixes_[prefix]);
    out += '[';
    append_decimal(out, block.formula);
    out += ',';
    append_decimal(out, block.first_instance + r);
    out += ',';
    append_decimal(out, aux_index);
    out += ']';
}

std::size_t MappingEntries::segment_of_id(std::size_t id) const {
    for (std::size_t s = 0; s < segments_.size(); ++s) {
        const Segment& segment = segments_[s];
        if (segment.kind == Kind::Names && id >= segment.index && id < segment.index + segment.count) return s;
    }
    return segments_.size();
}

std::shared_ptr<const MappingEntries::Inverse> MappingEntries::inverse() const {
    auto inverse = std::make_shared<Inverse>();
    for (std::size_t b = 0; b < element_blocks_.size(); ++b) {
        const ElementBlock& block = element_blocks_[b];
        inverse->ranges.push_back({block.first, block.first + static_cast<Number>(segments_[block.segment].count) - 1,
                                   Kind::Elements, b});
    }
    for (std::size_t b = 0; b < aux_blocks_.size(); ++b) {
        inverse->ranges.push_back({aux_blocks_[b].first_number, aux_blocks_[b].last_number, Kind::Aux, b});
    }
    std::sort(inverse->ranges.begin(), inverse->ranges.end(),
              [](const Inverse::Range& a, const Inverse::Range& b) { return a.low < b.low; });
    for (std::size_t k = 1; k < inverse->ranges.size(); ++k) {
        if (inverse->ranges[k].low <= inverse->ranges[k - 1].high) {
            throw std::invalid_argument("the numbers of two blocks of names overlap");
        }
    }
    auto& ids = inverse->by_number;
    ids.resize(names_numbers_.size());
    for (std::uint32_t id = 0; id < ids.size(); ++id) ids[id] = id;
    std::sort(ids.begin(), ids.end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::pair(number_of_id(a), a) < std::pair(number_of_id(b), b);
    });
    // As a scan in mapping order would find it: the earliest name that meets a number mapped before.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> clash;
    for (std::size_t k = 1; k < ids.size(); ++k) {
        if (number_of_id(ids[k]) == number_of_id(ids[k - 1]) && (!clash || ids[k] < clash->second)) {
            std::size_t first = k - 1;
            while (first > 0 && number_of_id(ids[first - 1]) == number_of_id(ids[k])) --first;
            clash = std::pair(ids[first], ids[k]);
        }
    }
    if (clash) {
        throw std::invalid_argument(duplicate_number(number_of_id(clash->first), std::string(name_of_id(clash->first)),
                                                     std::string(name_of_id(clash->second))));
    }
    for (std::uint32_t id = 0; id < ids.size(); ++id) {
        const Number number = number_of_id(id);
        if (const auto name = find_name(*inverse, number); name && *name != name_of_id(id)) {
            const bool block_first = segment_of_id(id) > [&] {
                for (const auto& range : inverse->ranges) {
                    if (number >= range.low && number <= range.high) {
                        return range.kind == Kind::Elements ? element_blocks_[range.block].segment
                                                            : aux_blocks_[range.block].segment;
                    }
                }
                return std::size_t{0};
            }();
            const std::string given(name_of_id(id));
            throw std::invalid_argument(block_first ? duplicate_number(number, *name, given)
                                                    : duplicate_number(number, given, *name));
        }
    }
    return inverse;
}

std::optional<std::string> MappingEntries::find_name(const Inverse& inverse, Number number) const {
    const auto after = std::upper_bound(inverse.ranges.begin(), inverse.ranges.end(), number,
                                        [](Number n, const Inverse::Range& r) { return n < r.low; });
    if (after != inverse.ranges.begin() && number <= (after - 1)->high) {
        const Inverse::Range& range = *(after - 1);
        std::string name;
        if (range.kind == Kind::Elements) {
            element_name(element_blocks_[range.block], static_cast<std::size_t>(number - range.low), name);
            return name;
        }
        const AuxBlock& block = aux_blocks_[range.block];
        const Number from_first = number - block.first_number;
        const std::int64_t r = block.block_size > 0 ? std::min(from_first / block.block_size, block.instances - 1) : 0;
        const Number offset = from_first - r * block.block_size;
        const auto after_run = std::upper_bound(block.by_offset.begin(), block.by_offset.end(), offset,
                                                [&](Number o, std::uint32_t e) { return o < block.runs[e].offset; });
        if (after_run != block.by_offset.begin()) {
            const AuxRun& run = block.runs[*(after_run - 1)];
            if (offset < run.offset + run.count) {
                aux_name(block, r, run.prefix, run.aux_index + (offset - run.offset), name);
                return name;
            }
        }
    }
    const auto id = std::lower_bound(inverse.by_number.begin(), inverse.by_number.end(), number,
                                     [&](std::uint32_t i, Number n) { return number_of_id(i) < n; });
    if (id == inverse.by_number.end() || number_of_id(*id) != number) return std::nullopt;
    return std::string(name_of_id(*id));
}

}  // namespace corvane
