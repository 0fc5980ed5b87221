#include "server/report/utc_time.h"

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
