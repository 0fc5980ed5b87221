#pragma once

#include "server/metrics/labelled_counts.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// Why the server cut a connection off.
enum class CutReason {
    deadline,       // its request did not arrive whole in time
    idle,           // it sent nothing for the idle timeout
    connection_cap, // it waited for a request while the connections neared their cap
    request_budget, // it held request data longest when all of it passed its budget
    body_cap,       // its chunked body grew past the cap
};
constexpr std::size_t cut_reasons = 5;
const char *cut_reason_name(CutReason reason);

// What the HTTP server counts as it serves, for the metrics page: atomics only, so that counting
// never holds a request up.
struct ServerCounters {
    std::atomic<std::int64_t> open{0}; // connections
    std::array<std::atomic<std::uint64_t>, cut_reasons> cut{};
    LabelledCounts posts_refused; // status="...",cause="..."

    void count_cut(CutReason reason) {
        cut[static_cast<std::size_t>(reason)].fetch_add(1, std::memory_order_relaxed);
    }
    // A post answered status with text ("ERROR: not a service report\n"): counted under its status
    // and the text's first line, without "ERROR: ".
    void count_refused_post(const std::string &status, const std::string &text);
};
