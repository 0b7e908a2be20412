#include "engine/fenc/metrics.hpp"

#include <cstdio>
#include <utility>
#include <vector>

#include "engine/fenc/text_error.hpp"

namespace corvane::fenc {
namespace {

// Each field after the model name with its value as text.
std::vector<std::pair<const char*, std::string>> field_texts(const Metrics& m) {
    return {
#define CORVANE_FENC_METRIC_TEXT(type, name) {#name, std::to_string(m.name)},
        CORVANE_FENC_METRIC_FIELDS(CORVANE_FENC_METRIC_TEXT)
#undef CORVANE_FENC_METRIC_TEXT
    };
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string csv_string(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

void write_file(const std::string& path, const std::string& content) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw FileWriteError("cannot write the metrics file '" + escaped(path) + "'");
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    if (std::fclose(file) != 0 || !written) throw FileWriteError("cannot write the metrics file '" + escaped(path) + "'");
}

}  // namespace

void save_metrics_json(const Metrics& metrics, const std::string& path) {
    std::string out = "{\n  \"model_name\": " + json_string(metrics.model_name);
    for (const auto& [name, value] : field_texts(metrics)) out += std::string(",\n  \"") + name + "\": " + value;
    write_file(path, out + "\n}\n");
}

void save_metrics_csv(const Metrics& metrics, const std::string& path) {
    std::string out = "metric,value\nmodel_name," + csv_string(metrics.model_name) + "\n";
    for (const auto& [name, value] : field_texts(metrics)) out += std::string(name) + "," + value + "\n";
    write_file(path, out);
}

}  // namespace corvane::fenc
