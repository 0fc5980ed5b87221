#include "server/access/sign_in_throttle.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr long long forgotten_after_ms = 15 * 60 * 1000;

} // namespace

long long throttle_wait_ms(long long failures) {
    if (failures < free_failures)
        return 0;
    const long long doublings = failures - free_failures;
    return doublings >= 6 ? longest_wait_ms : std::min(longest_wait_ms, 1000LL << doublings);
}

int throttle_left(SqlConnection &connection, const std::vector<std::string> &keys, long long now_ms,
                  long long &wait_ms) {
    wait_ms = 0;
    for (const std::string &key : keys) {
        SqlRows rows;
        if (connection.run("SELECT failures, last_at FROM sign_in_failures WHERE key = $1", {key},
                           &rows) != 0)
            return receiver_failed;
        if (rows.empty())
            continue;
        const long long failures = std::strtoll(rows[0][0].c_str(), nullptr, 10);
        const long long until =
            std::strtoll(rows[0][1].c_str(), nullptr, 10) + throttle_wait_ms(failures);
        wait_ms = std::max(wait_ms, until - now_ms);
    }
    return 0;
}

int note_failure(SqlConnection &connection, const std::vector<std::string> &keys,
                 long long now_ms) {
    for (const std::string &key : keys) {
        if (connection.run(
                "INSERT INTO sign_in_failures (key, failures, last_at) VALUES ($1, 1, $2)"
                " ON CONFLICT (key) DO UPDATE SET failures = CASE"
                " WHEN sign_in_failures.last_at < $3 THEN 1"
                " ELSE sign_in_failures.failures + 1 END, last_at = $2",
                {key, now_ms, now_ms - forgotten_after_ms}) != 0)
            return receiver_failed;
    }
    return 0;
}

int clear_failures(SqlConnection &connection, const std::string &key) {
    return connection.run("DELETE FROM sign_in_failures WHERE key = $1", {key});
}
