#include "server/viewer/report_listing.h"

#include "server/text/json_text.h"

std::string reports_page_json(const std::vector<StoredReport> &reports, long long next) {
    using Json = nlohmann::ordered_json;
    Json listed = Json::array();
    for (const StoredReport &report : reports) {
        Json items = Json::array();
        for (const FormItem &item : report.items)
            items.push_back({item.first, item.second});
        listed.push_back({{"id", report.id},
                          {"received", report.received},
                          {"client", report.client},
                          {"items", items}});
    }
    return json_text(Json{{"reports", listed}, {"next", next > 0 ? Json(next) : Json(nullptr)}});
}
