#include "server/viewer/viewer_json.h"

#include "server/text/json_text.h"
#include "server/text/utc_time.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr long long made_apart_milliseconds = 60 * 1000;

using Json = nlohmann::ordered_json;

// A cursor, or null on the last page.
Json cursor(long long next) {
    return next > 0 ? Json(next) : Json(nullptr);
}

Json text_or_null(const std::string &text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

// When the report was made, if that was over a minute from its arrival: a report kept by the tool
// and sent again later. Clocks a few seconds off say nothing.
std::string made_apart(const ReportHead &head) {
    const long long made = rfc3339_utc_milliseconds(head.made);
    const long long received = utc_milliseconds(head.received);
    const bool apart = made != utc_unreadable && received != utc_unreadable &&
                       std::llabs(made - received) > made_apart_milliseconds;
    return apart ? head.made : "";
}

Json head_json(const ReportHead &head) {
    return {{"id", head.id},
            {"received", head.received},
            {"client", head.client},
            {"customer", head.customer},
            {"taxpayer", head.taxpayer},
            {"motorization", head.motorization},
            {"drive_events", head.drive_events},
            {"stage", text_or_null(head.stage)},
            {"made", text_or_null(made_apart(head))}};
}

Json pairs_json(const FormItems &items) {
    Json pairs = Json::array();
    for (const FormItem &item : items)
        pairs.push_back({item.first, item.second});
    return pairs;
}

const char *group_name(ChangeGroup group) {
    switch (group) {
    case ChangeGroup::motorization:
        return "motorizacao";
    case ChangeGroup::parameter:
        return "parametro";
    case ChangeGroup::event:
        return "evento";
    default:
        return "outro";
    }
}

} // namespace

std::string chairs_page_json(const std::vector<ChairSummary> &chairs, long long next) {
    Json listed = Json::array();
    for (const ChairSummary &chair : chairs)
        listed.push_back({{"serial", chair.serial},
                          {"last_service", chair.last_service},
                          {"customer", chair.customer},
                          {"taxpayer", chair.taxpayer},
                          {"motorization", chair.motorization},
                          {"services", chair.services}});
    return json_text(Json{{"chairs", listed}, {"next", cursor(next)}});
}

std::string services_page_json(const std::string &serial,
                               const std::vector<ServiceSummary> &services, long long next) {
    Json listed = Json::array();
    for (const ServiceSummary &service : services) {
        Json head = head_json(service.before);
        head["after"] = service.paired ? head_json(service.after) : Json(nullptr);
        listed.push_back(head);
    }
    return json_text(Json{{"serial", serial}, {"services", listed}, {"next", cursor(next)}});
}

std::string service_json(const ServiceRecord &service, const std::vector<ItemChange> &changes,
                         std::size_t offset, std::size_t limit) {
    Json shown = Json::array();
    const std::size_t end = std::min(changes.size(), offset + limit);
    for (std::size_t i = offset; i < end; ++i)
        shown.push_back({{"group", group_name(changes[i].group)},
                         {"item", changes[i].item},
                         {"before", changes[i].before},
                         {"after", changes[i].after}});
    return json_text(
        Json{{"id", service.before.id},
             {"serial", service.serial},
             {"before", head_json(service.before)},
             {"after", service.paired ? head_json(service.after) : Json(nullptr)},
             {"changes", shown},
             {"events",
              {{"painel", pairs_json(items_starting(service.before_items, "painel_event_"))},
               {"drive", pairs_json(items_starting(service.before_items, "drive_event_"))}}},
             {"next", cursor(end < changes.size() ? static_cast<long long>(end) : 0)}});
}
