#include "server/viewer/report_listing.h"

#include "server/text/json_text.h"

std::string reports_page_json(const std::vector<StoredReport> &reports, long long next) {
    std::string out = "{\"reports\":[";
    for (std::size_t r = 0; r < reports.size(); ++r) {
        const StoredReport &report = reports[r];
        if (r > 0)
            out += ',';
        out += "{\"id\":" + std::to_string(report.id);
        out += ",\"received\":" + json_string(report.received);
        out += ",\"client\":" + json_string(report.client);
        out += ",\"items\":[";
        for (std::size_t i = 0; i < report.items.size(); ++i) {
            if (i > 0)
                out += ',';
            out += '[' + json_string(report.items[i].first) + ',' +
                   json_string(report.items[i].second) + ']';
        }
        out += "]}";
    }
    out += "],\"next\":";
    out += next > 0 ? std::to_string(next) : "null";
    out += '}';
    return out;
}
