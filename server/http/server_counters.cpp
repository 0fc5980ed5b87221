#include "server/http/server_counters.h"

#include "server/metrics/exposition.h"

#include <algorithm>

namespace {

// Long enough for every refusal's text, short enough for a slot once escaped.
constexpr std::size_t longest_cause = 48;

} // namespace

const char *cut_reason_name(CutReason reason) {
    switch (reason) {
    case CutReason::deadline:
        return "deadline";
    case CutReason::idle:
        return "idle";
    case CutReason::connection_cap:
        return "connection_cap";
    case CutReason::request_budget:
        return "request_budget";
    case CutReason::body_cap:
        return "body_cap";
    }
    return "";
}

void ServerCounters::count_refused_post(const std::string &status, const std::string &text) {
    const std::string prefix = "ERROR: ";
    const std::size_t start = text.compare(0, prefix.size(), prefix) == 0 ? prefix.size() : 0;
    const std::string cause =
        text.substr(start, std::min(text.find('\n', start) - start, longest_cause));
    posts_refused.add("status=\"" + label_value(status) + "\",cause=\"" + label_value(cause) + '"');
}
