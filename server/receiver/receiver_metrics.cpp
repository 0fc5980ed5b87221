#include "server/receiver/receiver_metrics.h"

#include "server/metrics/exposition.h"
#include "server/store/schema.h"

#include <algorithm>

namespace {

const std::string prefix = "report_receiver_";

// From a millisecond, what an SQLite commit on a fast disk takes, to 10 s, past the 15 s the tool
// waits less a margin: nanoseconds.
std::vector<std::uint64_t> commit_bounds() {
    std::vector<std::uint64_t> bounds;
    for (const double seconds :
         {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1.0, 2.5, 5.0, 10.0})
        bounds.push_back(static_cast<std::uint64_t>(seconds * 1e9 + 0.5));
    return bounds;
}

void single(Exposition &page, const std::string &name, const char *type, const char *help,
            std::uint64_t value) {
    page.family(prefix + name, type, help);
    page.sample(prefix + name, "", value);
}

} // namespace

ReceiverMetrics::ReceiverMetrics() : commit_nanoseconds_(commit_bounds()) {}

void ReceiverMetrics::stored(std::chrono::steady_clock::time_point arrived) {
    const auto taken = std::chrono::steady_clock::now() - arrived;
    commit_nanoseconds_.observe(static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(taken).count()));
    stored_.fetch_add(1, std::memory_order_relaxed);
}

std::string ReceiverMetrics::page(const ServerCounters &server,
                                  const StoreStatistics &store) const {
    Exposition page;
    single(page, "reports_stored_total", "counter", "Reports durably stored and answered OK.",
           stored_.load(std::memory_order_relaxed));
    page.family(prefix + "posts_refused_total", "counter",
                "Posts answered 4xx or 5xx, by status and cause.");
    for (const auto &[labels, count] : server.posts_refused.snapshot())
        page.sample(prefix + "posts_refused_total", labels, count);
    page.histogram(prefix + "commit_seconds",
                   "Time from a post's arrival to its report's durable commit.",
                   commit_nanoseconds_.snapshot(), 1e9);
    page.histogram(prefix + "commit_batch_reports", "Reports committed together, a commit each.",
                   store.batch_sizes.snapshot(), 1);
    single(page, "open_connections", "gauge", "Connections open now.",
           static_cast<std::uint64_t>(std::max<std::int64_t>(server.open.load(), 0)));
    page.family(prefix + "connections_cut_total", "counter",
                "Connections the receiver cut, by reason: deadline, idle (timeout), "
                "connection_cap, request_budget, body_cap.");
    for (std::size_t reason = 0; reason < cut_reasons; ++reason)
        page.sample(prefix + "connections_cut_total",
                    std::string("reason=\"") + cut_reason_name(static_cast<CutReason>(reason)) +
                        '"',
                    server.cut[reason].load(std::memory_order_relaxed));
    single(page, "store_errors_total", "counter", "Commits and reads the database failed.",
           store.errors.load(std::memory_order_relaxed));
    page.family(prefix + "build_info", "gauge", "The receiver's version, as a label.");
    page.sample(prefix + "build_info", "version=\"" + label_value(RECEIVER_VERSION) + '"', 1);
    page.family(prefix + "schema_info", "gauge", "The database schema's version, as a label.");
    page.sample(prefix + "schema_info",
                "version=\"" + std::to_string(current_schema_version()) + '"', 1);
    return page.text();
}
