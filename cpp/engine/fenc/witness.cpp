#include "engine/fenc/witness.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace corvane::fenc {

void check_witness(const std::vector<std::int64_t>& model) {
    std::vector<std::int64_t> by_variable(model);
    for (std::int64_t lit : model) {
        if (lit == 0) throw std::invalid_argument("a witness holds signed variable numbers; 0 is none");
        if (lit == INT64_MIN) throw std::overflow_error("witness literal out of range");
    }
    auto magnitude = [](std::int64_t lit) { return lit < 0 ? -lit : lit; };
    std::sort(by_variable.begin(), by_variable.end(),
              [&](std::int64_t a, std::int64_t b) { return magnitude(a) != magnitude(b) ? magnitude(a) < magnitude(b) : a < b; });
    for (std::size_t k = 1; k < by_variable.size(); ++k) {
        if (by_variable[k] == -by_variable[k - 1]) {
            throw std::invalid_argument("the witness sets variable " + std::to_string(magnitude(by_variable[k])) +
                                        " both true and false");
        }
    }
}

std::vector<bool> truth_table(const std::vector<std::int64_t>& model, std::int64_t elements) {
    std::vector<bool> truth(static_cast<std::size_t>(elements) + 1, false);
    for (std::int64_t lit : model) {
        if (lit > 0 && lit <= elements) truth[static_cast<std::size_t>(lit)] = true;
    }
    return truth;
}

}  // namespace corvane::fenc
