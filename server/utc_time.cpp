#include "server/utc_time.h"

#include <cstdio>
#include <ctime>

std::string utc_iso8601(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto since_epoch = duration_cast<milliseconds>(time.time_since_epoch()).count();
    auto seconds = static_cast<std::time_t>(since_epoch / 1000);
    auto millis = static_cast<int>(since_epoch % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char date[24] = {};
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &parts);
    char text[40] = {};
    std::snprintf(text, sizeof text, "%s.%03dZ", date, millis);
    return text;
}
