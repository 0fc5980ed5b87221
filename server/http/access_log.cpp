#include "server/http/access_log.h"

#include "server/text/utc_time.h"

#include <cstdio>

namespace {

std::string printable(std::string text) {
    for (char &c : text) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            c = '?';
    }
    return text;
}

std::string trimmed(const std::string &text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::string access_line(const AccessRecord &record) {
    char tail[64];
    std::snprintf(tail, sizeof tail, " %zu %.1fms", record.bytes, record.milliseconds);
    return utc_iso8601(record.time) + ' ' + printable(record.client) + ' ' +
           printable(record.method) + ' ' + printable(record.path) + ' ' + record.status + tail;
}

std::string client_address(const std::string &peer, const std::string &trusted_proxy,
                           const std::string &forwarded_for) {
    if (trusted_proxy.empty() || peer != trusted_proxy)
        return peer;
    // Only the proxy's own entry is trusted: the ones before it are whatever the client sent.
    const std::size_t comma = forwarded_for.rfind(',');
    const std::string last =
        trimmed(comma == std::string::npos ? forwarded_for : forwarded_for.substr(comma + 1));
    return last.empty() ? peer : last;
}
