#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvane::fenc {

// A metrics file that cannot be written.
struct FileWriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The counts and times of Metrics after the model name, in the order the
// files list them: X(type, name) for each.
#define CORVANE_FENC_METRIC_FIELDS(X) \
    X(std::int64_t, declarations)     \
    X(std::int64_t, elements)         \
    X(std::int64_t, hard_constraints) \
    X(std::int64_t, soft_constraints) \
    X(std::int64_t, targets)          \
    X(std::int64_t, instances)        \
    X(std::int64_t, hard_clauses)     \
    X(std::int64_t, soft_clauses)     \
    X(std::int64_t, aux_variables)    \
    X(double, parse_seconds)          \
    X(double, encode_seconds)         \
    X(double, generate_seconds)

// Counts and times of one encoder, as written to the metrics files.
struct Metrics {
    std::string model_name;
#define CORVANE_FENC_METRIC_MEMBER(type, name) type name = 0;
    CORVANE_FENC_METRIC_FIELDS(CORVANE_FENC_METRIC_MEMBER)
#undef CORVANE_FENC_METRIC_MEMBER
};

// Write the metrics as a JSON object or as "metric,value" CSV rows. Throw
// FileWriteError when the file cannot be written.
void save_metrics_json(const Metrics& metrics, const std::string& path);
void save_metrics_csv(const Metrics& metrics, const std::string& path);

}  // namespace corvane::fenc
