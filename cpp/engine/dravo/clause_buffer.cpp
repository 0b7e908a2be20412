#include "engine/dravo/clause_buffer.hpp"

#include <stdexcept>

namespace corvane::dravo {

Literal ClauseBuffer::new_variable(const Variable* input) {
    inputs_.push_back(input);
    marks_.push_back({0, 0});
    return static_cast<Literal>(inputs_.size());
}

void ClauseBuffer::begin(Literal extra) {
    current_.clear();
    satisfied_ = false;
    ++clause_id_;
    if (extra != 0) add(extra);
}

void ClauseBuffer::add(Literal lit) {
    if (satisfied_ || lit == kFalse) return;
    if (lit == kTrue) {
        satisfied_ = true;
        return;
    }
    Mark& mark = marks_[index_of(lit)];
    if (mark.clause == clause_id_) {
        if (mark.lit != lit) satisfied_ = true;
        return;
    }
    mark = {clause_id_, lit};
    current_.push_back(lit);
}

void ClauseBuffer::end() {
    if (satisfied_) return;
    if (current_.empty()) unsatisfiable_ = true;
    literals_.insert(literals_.end(), current_.begin(), current_.end());
    ends_.push_back(literals_.size());
}

void ClauseBuffer::emit(const ClauseCallbacks& callbacks) const {
    if (unsatisfiable_) {
        callbacks.clause({});
        return;
    }
    std::vector<Literal> number(inputs_.size(), 0);
    std::vector<Literal> clause;
    std::size_t begin = 0;
    for (std::size_t end : ends_) {
        clause.clear();
        for (std::size_t i = begin; i < end; ++i) {
            const Literal lit = literals_[i];
            Literal& n = number[index_of(lit)];
            if (n == 0) {
                const Variable* input = inputs_[index_of(lit)];
                n = input != nullptr ? callbacks.var_number(*input) : callbacks.fresh();
                if (n <= 0) throw std::invalid_argument("clause variable numbers must be positive");
            }
            clause.push_back(lit > 0 ? n : -n);
        }
        callbacks.clause(clause);
        begin = end;
    }
}

}  // namespace corvane::dravo
