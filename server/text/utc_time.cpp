#include "server/text/utc_time.h"

#include <cstdio>
#include <cstdlib>
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

long long rfc3339_utc_milliseconds(const std::string &text) {
    const std::string shape = "dddd-dd-ddTdd:dd:dd";
    if (text.size() < shape.size() + 1 || text.back() != 'Z')
        return utc_unreadable;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != shape[i])
            return utc_unreadable;
    }
    const std::string fraction = text.substr(shape.size(), text.size() - shape.size() - 1);
    if (!fraction.empty() && (fraction.size() < 2 || fraction.size() > 10 || fraction[0] != '.' ||
                              fraction.find_first_not_of("0123456789", 1) != std::string::npos))
        return utc_unreadable;
    std::tm parts{};
    std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &parts.tm_year, &parts.tm_mon,
                &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec);
    const std::tm written = parts;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    const std::time_t seconds = timegm(&parts);
    // timegm carries what is out of range (a 31st of April, a 25th hour) into the next unit.
    if (parts.tm_year + 1900 != written.tm_year || parts.tm_mon + 1 != written.tm_mon ||
        parts.tm_mday != written.tm_mday || parts.tm_hour != written.tm_hour ||
        parts.tm_min != written.tm_min || parts.tm_sec != written.tm_sec)
        return utc_unreadable;
    const std::string millis = (fraction.empty() ? "" : fraction.substr(1)) + "000";
    return static_cast<long long>(seconds) * 1000 + std::atoi(millis.substr(0, 3).c_str());
}
