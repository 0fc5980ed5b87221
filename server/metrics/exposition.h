#pragma once

#include "server/metrics/histogram.h"

#include <cstdint>
#include <string>

// The content type of Prometheus' text exposition format, version 0.0.4.
constexpr const char *exposition_type = "text/plain; version=0.0.4; charset=utf-8";

// A metrics page in that format: each family's HELP and TYPE lines, then its samples.
class Exposition {
public:
    // type: counter, gauge or histogram. name: the family's, a counter's ending in _total.
    void family(const std::string &name, const char *type, const char *help);
    // labels: as written between the braces, "" for none.
    void sample(const std::string &name, const std::string &labels, std::uint64_t value);
    // A histogram family whose values were counted in units of 1/scale (nanoseconds: 1e9).
    void histogram(const std::string &name, const char *help, const Histogram::Snapshot &taken,
                   double scale);

    const std::string &text() const { return text_; }

private:
    std::string text_;
};

// value as a label value: backslash, double quote and line feed escaped.
std::string label_value(const std::string &value);
