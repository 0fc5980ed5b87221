#include "server/viewer/service_export.h"

#include "server/viewer/csv_cell.h"
#include "server/viewer/report_listing.h"

#include <map>

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
