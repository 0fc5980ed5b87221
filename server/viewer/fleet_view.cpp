#include "server/viewer/fleet_view.h"

#include "server/store/service_history.h"
#include "server/text/json_text.h"
#include "server/text/utc_time.h"
#include "server/viewer/csv_cell.h"

#include <chrono>
#include <cstdio>
#include <functional>

namespace {

bool is_month(const std::string &text) {
    return text.size() == 7 && text[4] == '-' && text.find_first_not_of("0123456789", 0) == 4 &&
           text.find_first_not_of("0123456789", 5) == std::string::npos && text.substr(5) >= "01" &&
           text.substr(5) <= "12";
}

// "drive_event_0x01" is the drive's event 0x01.
std::string device_of(const std::string &code) {
    return code.substr(0, code.find('_'));
}

std::string code_number(const std::string &code) {
    return code.substr(code.size() - 4);
}

double part(long long count, long long of) {
    return of > 0 ? static_cast<double>(count) / static_cast<double>(of) : 0.0;
}

std::string decimal(double value, const char *format) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

nlohmann::json groups_json(const std::vector<FleetGroup> &groups, const char *name) {
    nlohmann::json listed = nlohmann::json::array();
    for (const FleetGroup &group : groups)
        listed.push_back(
            {{name, group.name}, {"chairs", group.chairs}, {"services", group.services}});
    return listed;
}

// One chart a device and motorization: its codes in order.
nlohmann::json events_json(const std::vector<FleetCounter> &counters) {
    nlohmann::json groups = nlohmann::json::array();
    for (const FleetCounter &counter : counters) {
        const std::string device = device_of(counter.code);
        if (groups.empty() || groups.back()["device"] != device ||
            groups.back()["motorization"] != counter.motorization)
            groups.push_back({{"device", device},
                              {"motorization", counter.motorization},
                              {"services", counter.services},
                              {"counters", nlohmann::json::array()}});
        groups.back()["counters"].push_back({{"code", code_number(counter.code)},
                                             {"above_zero", counter.above_zero},
                                             {"total", counter.total},
                                             {"share", part(counter.above_zero, counter.services)},
                                             {"mean", part(counter.total, counter.services)}});
    }
    return groups;
}

std::string figures_json(const FleetRequest &request, const FleetFigures &figures) {
    const auto or_null = [](const std::string &text) {
        return text.empty() ? nlohmann::json() : nlohmann::json(text);
    };
    nlohmann::json months = nlohmann::json::array();
    for (const FleetMonth &month : figures.months)
        months.push_back({{"month", month.month}, {"services", month.services}});
    return json_text({{"from", or_null(request.from_month)},
                      {"to", or_null(request.to_month)},
                      {"firmware", or_null(request.firmware)},
                      {"firmwares", figures.firmwares},
                      {"by_motorization", groups_json(figures.by_motorization, "motorization")},
                      {"by_firmware", groups_json(figures.by_firmware, "firmware")},
                      {"months", months},
                      {"events", events_json(figures.counters)}});
}

using Line = std::vector<std::string>;

std::string csv_of(const std::vector<Line> &lines) {
    std::string out;
    for (const Line &line : lines) {
        for (std::size_t i = 0; i < line.size(); ++i)
            out += (i > 0 ? "," : "") + csv_cell(line[i]);
        out += "\r\n";
    }
    return out;
}

std::vector<Line> groups_csv(const std::vector<FleetGroup> &groups, const char *name) {
    std::vector<Line> lines{{name, "cadeiras", "servicos"}};
    for (const FleetGroup &group : groups)
        lines.push_back({group.name, std::to_string(group.chairs), std::to_string(group.services)});
    return lines;
}

std::vector<Line> months_csv(const FleetFigures &figures) {
    std::vector<Line> lines{{"mes", "servicos"}};
    for (const FleetMonth &month : figures.months)
        lines.push_back({month.month, std::to_string(month.services)});
    return lines;
}

std::vector<Line> events_csv(const FleetFigures &figures) {
    std::vector<Line> lines{{"dispositivo", "motorizacao", "evento", "servicos", "acima_de_zero",
                             "percentual_acima_de_zero", "media"}};
    for (const FleetCounter &counter : figures.counters)
        lines.push_back({device_of(counter.code), counter.motorization, code_number(counter.code),
                         std::to_string(counter.services), std::to_string(counter.above_zero),
                         decimal(100 * part(counter.above_zero, counter.services), "%.1f"),
                         decimal(part(counter.total, counter.services), "%.2f")});
    return lines;
}

struct Table {
    const char *path;
    std::function<std::vector<Line>(const FleetFigures &)> lines;
};

const Table tables[] = {
    {"/viewer/api/fleet/motorizacoes.csv",
     [](const FleetFigures &f) { return groups_csv(f.by_motorization, "motorizacao"); }},
    {"/viewer/api/fleet/firmwares.csv",
     [](const FleetFigures &f) { return groups_csv(f.by_firmware, "firmware"); }},
    {"/viewer/api/fleet/meses.csv", months_csv},
    {"/viewer/api/fleet/eventos.csv", events_csv},
};

} // namespace

void serve_fleet(ServiceHistory &history, const std::string &path, const FormItems &query,
                 HttpResponse &response) {
    const Table *table = nullptr;
    for (const Table &candidate : tables)
        table = path == candidate.path ? &candidate : table;
    if (table == nullptr && path != "/viewer/api/fleet")
        return answer(response, 404, "ERROR: not found\n");
    FleetRequest request{form_value(query, "de"), form_value(query, "ate"),
                         form_value(query, "firmware"), ""};
    if ((!request.from_month.empty() && !is_month(request.from_month)) ||
        (!request.to_month.empty() && !is_month(request.to_month)) ||
        (!request.to_month.empty() && request.from_month > request.to_month))
        return answer(response, 400, "ERROR: de and ate are months (YYYY-MM), de not after ate\n");
    request.last_month = !request.to_month.empty()
                             ? request.to_month
                             : utc_iso8601(std::chrono::system_clock::now()).substr(0, 7);
    FleetFigures figures;
    if (history.fleet(request, figures) != 0) {
        answer(response, 500, "ERROR: not readable\n");
        response.cause = "fleet not read: " + history.failure();
        return;
    }
    if (table == nullptr) {
        response.content_type = "application/json; charset=utf-8";
        response.body = figures_json(request, figures);
        return;
    }
    const std::string name = path.substr(path.rfind('/') + 1);
    response.headers.emplace_back("Content-Disposition",
                                  "attachment; filename=\"frota-" + name + "\"");
    response.content_type = "text/csv; charset=utf-8";
    response.body = csv_of(table->lines(figures));
}
