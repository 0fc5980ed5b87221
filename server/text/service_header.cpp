#include "server/text/service_header.h"

#include "server/text/utc_time.h"

#include <algorithm>

namespace {

bool is_uuid(const std::string &text) {
    if (text.size() != 36)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i];
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

std::string trimmed(const std::string &text) {
    const std::size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos
               ? ""
               : text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

} // namespace

bool closes_run(const std::string &stage) {
    return stage == "after" || stage == "interrupted";
}

int parse_service_header(const std::string &value, ServiceTag &tag) {
    ServiceTag read;
    if (trimmed(value).empty()) {
        tag = read;
        return 0;
    }
    std::size_t start = 0;
    int fields = 0;
    for (;; ++fields) {
        const std::size_t end = std::min(value.find(';', start), value.size());
        const std::string field = trimmed(value.substr(start, end - start));
        const std::size_t equals = field.find('=');
        const std::string name = field.substr(0, equals);
        std::string *into = name == "id"      ? &read.id
                            : name == "stage" ? &read.stage
                            : name == "made"  ? &read.made
                                              : nullptr;
        if (equals == std::string::npos || into == nullptr)
            return receiver_failed;
        *into = field.substr(equals + 1);
        if (end == value.size())
            break;
        start = end + 1;
    }
    if (fields != 2 || !is_uuid(read.id) || !(read.stage == "before" || closes_run(read.stage)) ||
        rfc3339_utc_milliseconds(read.made) == utc_unreadable)
        return receiver_failed;
    tag = read;
    return 0;
}
