// Lower bound for the formula-encoder benchmark: the clauses of the
// benchmark model written from C++ directly. Each constraint is encoded once
// over placeholder variables (the PB encoder for the comparison, the Tseytin
// transformation for the implication), then copied into the storage for
// every (i, j) with the element numbers filled in; the variable mapping gets
// the same names as the formula encoder's, kept as the encoder keeps them.
//
//     direct_clauses ROWS COLUMNS   ->   one JSON line of counts and seconds
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/var_mapping.hpp"
#include "engine/core/wcnf_storage.hpp"
#include "engine/dravo/dravo.hpp"
#include "engine/kelpa/kelpa.hpp"

using namespace corvane;

struct Pattern {
    std::vector<std::vector<std::int64_t>> clauses;  // ids 1..3 variables, above: aux
    std::int64_t aux = 0;
};

static Pattern comparison() {  // x(i,j) + x(i+1,j) + 2 x(i,j+1) <= 2
    kelpa::PBConfig config;
    config.pb_encoder = kelpa::EncoderType::ADDER;
    kelpa::AuxVarManager aux(4);
    kelpa::ClauseBuffer buffer;
    kelpa::encode({{{1, 1}, {2, 1}, {3, 2}}, kelpa::Comparator::LEQ, 2}, config, aux, buffer);
    Pattern p;
    p.aux = aux.next_variable() - 4;
    p.clauses.emplace_back();
    for (std::int64_t lit : buffer.literals()) {
        if (lit == 0) {
            p.clauses.emplace_back();
        } else {
            p.clauses.back().push_back(lit);
        }
    }
    p.clauses.pop_back();
    return p;
}

static Pattern implication() {  // x(i,j) -> x(i+1,j) | x(i,j+1)
    dravo::Context context;
    const dravo::Expr a = context.get_var("a"), b = context.get_var("b"), c = context.get_var("c");
    const dravo::Expr either[] = {b, c};
    Pattern p;
    std::int64_t next = 3;
    dravo::ClauseCallbacks callbacks{
        [](const dravo::Variable& v) { return static_cast<dravo::Literal>(v.id()); },
        [&]() { return ++next; },
        [&](std::span<const dravo::Literal> clause) { p.clauses.emplace_back(clause.begin(), clause.end()); },
    };
    dravo::tseytin_clauses(dravo::impl_s(a, dravo::or_s(either)), callbacks);
    p.aux = next - 3;
    return p;
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::int64_t rows = std::atoll(argv[1]), columns = std::atoll(argv[2]);
    const std::int64_t width = columns + 1, elements = (rows + 1) * width;
    const auto start = std::chrono::steady_clock::now();
    const Pattern patterns[] = {comparison(), implication()};
    WcnfStorage storage;
    std::vector<std::int64_t> clause;
    std::int64_t next_aux = elements + 1;
    for (const Pattern& p : patterns) {
        for (std::int64_t i = 0; i < rows; ++i) {
            for (std::int64_t j = 0; j < columns; ++j) {
                const std::int64_t vars[] = {1 + i * width + j, 1 + (i + 1) * width + j, 1 + i * width + j + 1};
                for (const auto& pattern_clause : p.clauses) {
                    clause.clear();
                    for (std::int64_t lit : pattern_clause) {
                        const std::int64_t id = lit > 0 ? lit : -lit;
                        const std::int64_t number = id <= 3 ? vars[id - 1] : next_aux + id - 4;
                        clause.push_back(lit > 0 ? number : -number);
                    }
                    storage.add_hard_clause(clause);
                }
                next_aux += p.aux;
            }
        }
    }
    storage.set_model_name("bench");
    storage.set_variable_count(next_aux - 1);
    storage.set_clause_count(static_cast<std::int64_t>(storage.size()));
    const auto clauses_done = std::chrono::steady_clock::now();

    // The mapping as the engine keeps it: the elements as their declaration,
    // each constraint's aux variables as one block over its instances.
    MappingEntries entries;
    const std::int64_t sizes[] = {rows + 1, width};
    entries.add_elements("x", sizes, 1);
    std::int64_t number = elements + 1;
    const std::string_view prefixes[] = {"_kelpa_aux", "_dravo_aux"};
    for (std::size_t f = 0; f < 2; ++f) {
        std::vector<MappingEntries::AuxVariable> variables;
        for (std::int64_t k = 0; k < patterns[f].aux; ++k) variables.push_back({prefixes[f], k, number + k});
        entries.add_aux_block(static_cast<std::int64_t>(f), 0, rows * columns, patterns[f].aux, variables);
        number += rows * columns * patterns[f].aux;
    }
    VarMapping mapping;
    mapping.set_entries(std::move(entries));
    mapping.build_inverse_map();
    const auto mapped = std::chrono::steady_clock::now();
    std::printf("{\"clauses\": %zu, \"variables\": %lld, \"clauses_s\": %.6f, \"mapping_s\": %.6f}\n", storage.size(),
                static_cast<long long>(next_aux - 1),
                std::chrono::duration<double>(clauses_done - start).count(),
                std::chrono::duration<double>(mapped - clauses_done).count());
    return 0;
}
