#include <limits>

#include "engine/kelpa/kelpa.hpp"

namespace corvane::kelpa {

const char* encoder_name(EncoderType type) {
    switch (type) {
        case EncoderType::BEST: return "BEST";
        case EncoderType::BDD: return "BDD";
        case EncoderType::SWC: return "SWC";
        case EncoderType::SORTINGNETWORKS: return "SORTINGNETWORKS";
        case EncoderType::ADDER: return "ADDER";
        case EncoderType::BINARY_MERGE: return "BINARY_MERGE";
    }
    return "unknown";
}

AuxVarManager::AuxVarManager(Lit first) : next_(first) {
    if (first < 1) {
        throw std::invalid_argument("AuxVarManager: the first variable must be at least 1, got " +
                                    std::to_string(first));
    }
}

Lit AuxVarManager::get_variable() {
    if (next_ == std::numeric_limits<Lit>::max()) {
        throw std::overflow_error("AuxVarManager: no variable numbers left below 2**63");
    }
    return next_++;
}

void ClauseBuffer::add_clause(std::span<const Lit> clause) {
    literals_.insert(literals_.end(), clause.begin(), clause.end());
    literals_.push_back(0);
    ++clause_count_;
}

}  // namespace corvane::kelpa
