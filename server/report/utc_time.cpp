#include "server/report/utc_time.h"

#include <cstdio>
#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>

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
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::put_time(&parts, "%Y-%m-%dT%H:%M:%S") << '.' << std::setfill('0') << std::setw(3)
         << millis << 'Z';
    return text.str();
}

long long utc_milliseconds(const std::string &text) {
    std::tm parts{};
    int millis = 0;
    char zone = '\0';
    if (text.size() != 24 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &millis,
                    &zone) != 8 ||
        zone != 'Z')
        return utc_unreadable;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return static_cast<long long>(timegm(&parts)) * 1000 + millis;
}
