// The fleet's figures from its summary tables (fleet_facts.h); one text for SQLite and
// PostgreSQL alike, so both answer the same.
#include "server/store/sql_report_store.h"

#include "server/store/read_consistently.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

long long number_of(const std::string &text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

// The request's services: those of its months and firmware, with its values from $1.
const char *const chosen = "month >= $1 AND month <= $2 AND ($3 = '' OR firmware = $3)";

std::vector<FleetGroup> groups_of(const std::map<std::string, FleetGroup> &groups) {
    std::vector<FleetGroup> listed;
    for (const auto &[name, group] : groups)
        listed.push_back(group);
    return listed;
}

void add_to(std::map<std::string, FleetGroup> &groups, const std::string &name, long long chairs,
            long long services) {
    FleetGroup &group = groups[name];
    group.name = name;
    group.chairs += chairs;
    group.services += services;
}

} // namespace

std::string month_after(const std::string &month, int count) {
    const int index = std::atoi(month.substr(0, 4).c_str()) * 12 +
                      std::atoi(month.substr(5, 2).c_str()) - 1 + count;
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d", index / 12, index % 12 + 1);
    return text;
}

int SqlReportStore::fleet(const FleetRequest &request, FleetFigures &figures) {
    const std::string from = request.from_month.empty() ? "0000-00" : request.from_month;
    const std::string to = request.to_month.empty() ? "9999-99" : request.to_month;
    // The months shown: up to 24 ending at last_month, none before the period.
    const std::string first_month =
        std::max(month_after(request.last_month, 1 - fleet_months), request.from_month);
    const std::vector<SqlValue> chosen_values{from, to, request.firmware};
    SqlRows chairs;
    SqlRows months;
    SqlRows counters;
    SqlRows firmwares;
    std::lock_guard<std::mutex> lock(read_mutex_);
    if (read_consistently(*reader_, failed_because(), [&] {
            return reader_->run_all(
                {{"SELECT c.motorization, c.firmware, COUNT(*), SUM(s.services) FROM"
                  " (SELECT serial, COUNT(*) AS services FROM fleet_services WHERE " +
                      std::string(chosen) +
                      " GROUP BY serial) s JOIN fleet_chairs c ON c.serial = s.serial"
                      " GROUP BY c.motorization, c.firmware",
                  chosen_values, &chairs},
                 {"SELECT month, SUM(services) FROM fleet_months WHERE " + std::string(chosen) +
                      " AND month >= $4 AND month <= $5 GROUP BY month",
                  {from, to, request.firmware, first_month, request.last_month},
                  &months},
                 {"SELECT motorization, code, SUM(services), SUM(above_zero), SUM(total)"
                  " FROM fleet_events WHERE " +
                      std::string(chosen) + " GROUP BY motorization, code",
                  chosen_values, &counters},
                 {"SELECT DISTINCT firmware FROM fleet_months", {}, &firmwares}});
        }) != 0) {
        ++statistics_.errors;
        return store_read_failed;
    }
    std::map<std::string, FleetGroup> by_motorization;
    std::map<std::string, FleetGroup> by_firmware;
    for (const SqlRow &row : chairs) {
        add_to(by_motorization, row[0], number_of(row[2]), number_of(row[3]));
        add_to(by_firmware, row[1], number_of(row[2]), number_of(row[3]));
    }
    figures = FleetFigures();
    figures.by_motorization = groups_of(by_motorization);
    figures.by_firmware = groups_of(by_firmware);
    std::map<std::string, long long> per_month;
    for (const SqlRow &row : months)
        per_month[row[0]] = number_of(row[1]);
    for (std::string month = first_month; month <= request.last_month;
         month = month_after(month, 1))
        figures.months.push_back({month, per_month[month]});
    std::map<std::pair<std::string, std::string>, FleetCounter> sorted;
    for (const SqlRow &row : counters)
        sorted[{row[0], row[1]}] = {row[0], row[1], number_of(row[2]), number_of(row[3]),
                                    number_of(row[4])};
    for (auto &[key, counter] : sorted)
        figures.counters.push_back(std::move(counter));
    for (const SqlRow &row : firmwares)
        figures.firmwares.push_back(row[0]);
    std::sort(figures.firmwares.begin(), figures.firmwares.end());
    return 0;
}
