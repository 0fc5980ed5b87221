#include "server/store/fleet_facts.h"

#include <cstdlib>
#include <map>
#include <tuple>

namespace {

// A chair as its latest report in a batch shows it.
struct ChairState {
    long long report_id = 0;
    std::string motorization;
    std::string firmware;
};

// The month, motorization and firmware the event counters are added up under.
using EventGroup = std::tuple<std::string, std::string, std::string>;

struct CounterSums {
    long long services = 0;
    long long above_zero = 0;
    long long total = 0;
};

// A report's month, UTC, as the receiver wrote its arrival ("2026-03-02T09:00:00.000Z").
std::string month_of(const std::string &received) {
    return received.substr(0, 7);
}

void add_events(const EventGroup &group, const std::map<std::string, CounterSums> &codes, int part,
                std::vector<SqlStatement> &statements) {
    SqlStatement insert{"INSERT INTO fleet_events (month, motorization, firmware, part, code,"
                        " services, above_zero, total) VALUES ",
                        {std::get<0>(group), std::get<1>(group), std::get<2>(group), part}};
    for (const auto &[code, sums] : codes) {
        const std::size_t first = insert.params.size() + 1;
        insert.sql += insert.params.size() == 4 ? "($1,$2,$3,$4" : ",($1,$2,$3,$4";
        for (std::size_t i = first; i < first + 4; ++i)
            insert.sql += ",$" + std::to_string(i);
        insert.sql += ")";
        insert.params.insert(insert.params.end(),
                             {code, sums.services, sums.above_zero, sums.total});
    }
    insert.sql += " ON CONFLICT (month, motorization, firmware, part, code) DO UPDATE SET"
                  " services = fleet_events.services + excluded.services,"
                  " above_zero = fleet_events.above_zero + excluded.above_zero,"
                  " total = fleet_events.total + excluded.total";
    statements.push_back(std::move(insert));
}

} // namespace

void add_fleet_facts(const std::vector<FleetReport> &reports, int part,
                     std::vector<SqlStatement> &statements) {
    std::map<std::string, ChairState> chairs;
    std::map<EventGroup, std::map<std::string, CounterSums>> events;
    std::map<std::pair<std::string, std::string>, long long> months; // month, firmware
    for (const FleetReport &fleet : reports) {
        const NewReport &report = fleet.report;
        const ReportFacts &facts = fleet.facts;
        chairs[facts.serial] = {report.id, facts.motorization, facts.firmware};
        if (!fleet.starts_service)
            continue;
        const std::string month = month_of(report.received);
        statements.push_back({"INSERT INTO fleet_services (service_id, serial, month, firmware)"
                              " VALUES ($1, $2, $3, $4)",
                              {report.id, facts.serial, month, facts.firmware}});
        ++months[{month, facts.firmware}];
        // A run's closing report stored alone read the drive after it was changed or cleared.
        if (closes_run(report.tag.stage))
            continue;
        auto &codes = events[{month, facts.motorization, facts.firmware}];
        for (const auto &[code, count] : facts.counters) {
            CounterSums &sums = codes[code];
            sums.services += 1;
            sums.above_zero += count > 0 ? 1 : 0;
            sums.total += count;
        }
    }
    for (const auto &[serial, chair] : chairs)
        statements.push_back(
            {"INSERT INTO fleet_chairs (serial, last_report_id, motorization, firmware)"
             " VALUES ($1, $2, $3, $4) ON CONFLICT (serial) DO UPDATE SET"
             " motorization = CASE WHEN excluded.last_report_id > fleet_chairs.last_report_id"
             " THEN excluded.motorization ELSE fleet_chairs.motorization END,"
             " firmware = CASE WHEN excluded.last_report_id > fleet_chairs.last_report_id"
             " THEN excluded.firmware ELSE fleet_chairs.firmware END,"
             " last_report_id = CASE WHEN excluded.last_report_id > fleet_chairs.last_report_id"
             " THEN excluded.last_report_id ELSE fleet_chairs.last_report_id END",
             {serial, chair.report_id, chair.motorization, chair.firmware}});
    for (const auto &[key, services] : months)
        statements.push_back(
            {"INSERT INTO fleet_months (month, firmware, part, services) VALUES ($1, $2, $3, $4)"
             " ON CONFLICT (month, firmware, part) DO UPDATE SET"
             " services = fleet_months.services + excluded.services",
             {key.first, key.second, part, services}});
    for (const auto &[group, codes] : events)
        add_events(group, codes, part, statements);
}

int backfill_fleet(SqlConnection &connection) {
    long long after = 0;
    for (;;) {
        SqlRows heads;
        if (connection.run("SELECT f.report_id, f.received, f.client, f.service_id,"
                           " COALESCE(r.stage, '') FROM report_facts f"
                           " JOIN reports r ON r.id = f.report_id WHERE f.report_id > $1"
                           " ORDER BY f.report_id LIMIT 1000",
                           {after}, &heads) != 0)
            return receiver_failed;
        if (heads.empty())
            return 0;
        const long long first = std::strtoll(heads.front()[0].c_str(), nullptr, 10);
        after = std::strtoll(heads.back()[0].c_str(), nullptr, 10);
        std::map<long long, FormItems> items;
        if (read_fact_items(connection, first, after, items) != 0)
            return receiver_failed;
        // Reserved: each report and its facts are held by reference from here on.
        std::vector<ServiceTag> tags;
        std::vector<ReportFacts> facts;
        std::vector<NewReport> reports;
        std::vector<FleetReport> fleet;
        tags.reserve(heads.size());
        facts.reserve(heads.size());
        reports.reserve(heads.size());
        for (const SqlRow &head : heads) {
            const long long id = std::strtoll(head[0].c_str(), nullptr, 10);
            tags.push_back({"", head[4], ""});
            facts.push_back(facts_of(items[id]));
            reports.push_back({id, head[1], head[2], tags.back(), items[id]});
            fleet.push_back({reports.back(), facts.back(), head[3] == head[0]});
        }
        std::vector<SqlStatement> statements;
        add_fleet_facts(fleet, 0, statements);
        if (connection.run_all(statements) != 0)
            return receiver_failed;
    }
}
