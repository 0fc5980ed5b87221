#include "server/viewer/viewer_json.h"

#include "server/text/json_text.h"
#include "server/text/utc_time.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr long long made_apart_milliseconds = 60 * 1000;

std::string field(const char *name, const std::string &text) {
    return std::string("\"") + name + "\":" + json_string(text);
}

std::string field(const char *name, long long number) {
    return std::string("\"") + name + "\":" + std::to_string(number);
}

std::string next_json(long long next) {
    return ",\"next\":" + (next > 0 ? std::to_string(next) : std::string("null")) + "}";
}

std::string text_or_null(const char *name, const std::string &text) {
    return text.empty() ? std::string("\"") + name + "\":null" : field(name, text);
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

std::string head_json(const ReportHead &head) {
    return "{" + field("id", head.id) + "," + field("received", head.received) + "," +
           field("client", head.client) + "," + field("customer", head.customer) + "," +
           field("taxpayer", head.taxpayer) + "," + field("motorization", head.motorization) + "," +
           field("drive_events", head.drive_events) + "," + text_or_null("stage", head.stage) +
           "," + text_or_null("made", made_apart(head)) + "}";
}

std::string pairs_json(const FormItems &items) {
    std::string out = "[";
    for (const FormItem &item : items)
        out += (out.size() > 1 ? ",[" : "[") + json_string(item.first) + "," +
               json_string(item.second) + "]";
    return out + "]";
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
    std::string out = "{\"chairs\":[";
    for (std::size_t i = 0; i < chairs.size(); ++i) {
        const ChairSummary &chair = chairs[i];
        out += (i > 0 ? ",{" : "{") + field("serial", chair.serial) + "," +
               field("last_service", chair.last_service) + "," + field("customer", chair.customer) +
               "," + field("taxpayer", chair.taxpayer) + "," +
               field("motorization", chair.motorization) + "," + field("services", chair.services) +
               "}";
    }
    return out + "]" + next_json(next);
}

std::string services_page_json(const std::string &serial,
                               const std::vector<ServiceSummary> &services, long long next) {
    std::string out = "{" + field("serial", serial) + ",\"services\":[";
    for (std::size_t i = 0; i < services.size(); ++i) {
        const ServiceSummary &service = services[i];
        std::string head = head_json(service.before);
        head.pop_back();
        out += (i > 0 ? "," : "") + head +
               ",\"after\":" + (service.paired ? head_json(service.after) : std::string("null")) +
               "}";
    }
    return out + "]" + next_json(next);
}

std::string service_json(const ServiceRecord &service, const std::vector<ItemChange> &changes,
                         std::size_t offset, std::size_t limit) {
    std::string out = "{" + field("id", service.before.id) + "," + field("serial", service.serial) +
                      ",\"before\":" + head_json(service.before) + ",\"after\":" +
                      (service.paired ? head_json(service.after) : std::string("null")) +
                      ",\"changes\":[";
    const std::size_t end = std::min(changes.size(), offset + limit);
    for (std::size_t i = offset; i < end; ++i)
        out += (i > offset ? ",{" : "{") + field("group", group_name(changes[i].group)) + "," +
               field("item", changes[i].item) + "," + field("before", changes[i].before) + "," +
               field("after", changes[i].after) + "}";
    out += R"(],"events":{"painel":)" +
           pairs_json(items_starting(service.before_items, "painel_event_")) +
           ",\"drive\":" + pairs_json(items_starting(service.before_items, "drive_event_")) + "}";
    return out + next_json(end < changes.size() ? static_cast<long long>(end) : 0);
}
