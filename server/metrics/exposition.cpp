#include "server/metrics/exposition.h"

#include <cstdio>

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.12g", value);
    return text;
}

} // namespace

void Exposition::family(const std::string &name, const char *type, const char *help) {
    text_ += "# HELP " + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

void Exposition::sample(const std::string &name, const std::string &labels, std::uint64_t value) {
    text_ += name + (labels.empty() ? "" : '{' + labels + '}') + ' ' + std::to_string(value) + '\n';
}

void Exposition::histogram(const std::string &name, const char *help,
                           const Histogram::Snapshot &taken, double scale) {
    family(name, "histogram", help);
    for (std::size_t i = 0; i < taken.cumulative.size(); ++i) {
        const std::string bound =
            i < taken.bounds.size() ? number(static_cast<double>(taken.bounds[i]) / scale) : "+Inf";
        sample(name + "_bucket", "le=\"" + bound + '"', taken.cumulative[i]);
    }
    text_ += name + "_sum " + number(static_cast<double>(taken.sum) / scale) + '\n';
    sample(name + "_count", "", taken.cumulative.back());
}

std::string label_value(const std::string &value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return escaped;
}
