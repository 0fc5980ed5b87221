#include "server/report_listing.h"

#include "server/json_text.h"

std::string reports_json(const std::vector<StoredReport> &reports) {
    std::string out = "[";
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
    out += ']';
    return out;
}
