#include "server/viewer/service_export.h"

#include "server/text/utf8_text.h"
#include "server/viewer/report_listing.h"

#include <cstdlib>
#include <map>

namespace {

bool plain_number(const std::string &text) {
    if (text.empty())
        return false;
    char *end = nullptr;
    static_cast<void>(std::strtod(text.c_str(), &end));
    return *end == '\0' && text.find_first_of(" \t\r\n") == std::string::npos;
}

} // namespace

std::string csv_cell(const std::string &raw) {
    std::string text = utf8_text(raw);
    if (!text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos &&
        !plain_number(text))
        text.insert(0, "'");
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted.push_back('"');
        quoted.push_back(c);
    }
    return quoted + "\"";
}

namespace {

StoredReport stored(const ReportHead &head, const FormItems &items) {
    StoredReport report;
    report.id = head.id;
    report.received = head.received;
    report.client = head.client;
    report.items = items;
    return report;
}

} // namespace

std::string service_reports_json(const ServiceRecord &service) {
    std::vector<StoredReport> reports{stored(service.before, service.before_items)};
    if (service.paired)
        reports.push_back(stored(service.after, service.after_items));
    return reports_page_json(reports, 0);
}

std::string service_reports_csv(const ServiceRecord &service) {
    const auto line = [](const std::string &item, const std::string &before,
                         const std::string &after) {
        return csv_cell(item) + "," + csv_cell(before) + "," + csv_cell(after) + "\r\n";
    };
    const ReportHead none;
    const ReportHead &after = service.paired ? service.after : none;
    std::string out = line("item", "antes", "depois");
    out += line("relatorio", std::to_string(service.before.id),
                service.paired ? std::to_string(after.id) : "");
    out += line("recebido", service.before.received, after.received);
    out += line("remetente", service.before.client, after.client);
    std::map<std::string, std::string> after_values(service.after_items.begin(),
                                                    service.after_items.end());
    for (const auto &[key, value] : service.before_items) {
        if (!key.empty())
            out += line(key, value, after_values[key]);
    }
    return out;
}
