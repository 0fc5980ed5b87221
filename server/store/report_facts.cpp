#include "server/store/report_facts.h"

#include "server/store/fleet_facts.h"
#include "server/store/report_keys.h"
#include "server/store/text_keys.h"
#include "server/text/utc_time.h"
#include "server/text/utf8_text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

namespace {

bool is_drive_event(const std::string &key) {
    return key.rfind("drive_event_0x", 0) == 0;
}

bool is_event(const std::string &key) {
    return is_drive_event(key) || key.rfind("painel_event_0x", 0) == 0;
}

bool has_letter_or_digit(const std::string &text) {
    return std::any_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

// The counter's value, or -1 when the item is not a plain decimal number.
long long counter_value(const std::string &text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::strtoll(text.c_str(), nullptr, 10);
}

struct Previous {
    long long id = 0;
    long long received = utc_unreadable;
    bool completed = false; // already the "after" of a service
    bool named = false;     // its run named itself: it pairs only by that name
};

using RunServices = std::map<std::string, long long>; // a run's id, its service

// The chairs' latest reports and the runs' services as the lookups of look_before found them.
void read_before(const StoredBefore &before, std::map<ChairOfSender, Previous> &latest,
                 RunServices &runs) {
    for (const auto &[key, rows] : before.chairs) {
        if (rows.empty())
            continue;
        Previous &previous = latest[key];
        previous.id = std::strtoll(rows[0][0].c_str(), nullptr, 10);
        previous.received = utc_milliseconds(rows[0][1]);
        previous.completed = rows[0][2] != rows[0][0];
        previous.named = !rows[0][3].empty();
    }
    for (const auto &[run, rows] : before.runs) {
        if (!rows.empty() && !rows[0][0].empty())
            runs[run] = std::strtoll(rows[0][0].c_str(), nullptr, 10);
    }
}

void add_words(long long id, const std::string &serial, const std::string &customer_key,
               std::vector<SqlStatement> &statements) {
    const std::vector<std::string> words = key_words(customer_key);
    if (words.empty())
        return;
    SqlStatement insert{"INSERT INTO customer_words (word, serial, report_id) VALUES ",
                        {id, serial}};
    for (const std::string &word : words) {
        insert.params.emplace_back(word);
        insert.sql += insert.params.size() == 3 ? "(" : ",(";
        insert.sql += "$" + std::to_string(insert.params.size()) + ",$2,$1)";
    }
    statements.push_back(std::move(insert));
}

// A chair's row as a batch leaves it: its latest report, and the services the batch adds.
struct ChairChange {
    long long last_report_id = 0;
    long long services = 0;
};

// Adds what records report's facts, and notes the change to its chair. previous is the report
// before it of its chair from its sender, if any; it becomes this report, for the next one. runs
// gains the service of report's run. True when the report starts a service.
bool add_report_facts(const NewReport &report, const ReportFacts &facts, Previous &previous,
                      RunServices &runs, ChairChange &chair,
                      std::vector<SqlStatement> &statements) {
    const long long now = utc_milliseconds(report.received);
    const bool named = !report.tag.id.empty();
    const auto run = runs.find(report.tag.id);
    const bool completes = named ? run != runs.end()
                                 : previous.id != 0 && !previous.completed && !previous.named &&
                                       facts.events_cleared && now != utc_unreadable &&
                                       previous.received != utc_unreadable &&
                                       now >= previous.received &&
                                       now - previous.received <= service_run_milliseconds;
    const long long service_id = !completes ? report.id : named ? run->second : previous.id;
    if (named)
        runs.emplace(report.tag.id, service_id);
    const std::string customer_key = name_key(facts.customer);
    statements.push_back(
        {"INSERT INTO report_facts (report_id, serial, customer, customer_key, taxpayer,"
         " taxpayer_key, motorization, client, received, events_cleared, drive_events,"
         " service_id) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12)",
         {report.id, facts.serial, facts.customer, customer_key, facts.taxpayer,
          taxpayer_key(facts.taxpayer), facts.motorization, report.client, report.received,
          facts.events_cleared ? 1LL : 0LL, facts.drive_events, service_id}});
    add_words(report.id, facts.serial, customer_key, statements);
    previous = {report.id, now, completes, named};
    chair.last_report_id = report.id;
    chair.services += completes ? 0 : 1;
    return !completes;
}

} // namespace

const std::vector<std::string> &fact_keys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> wanted{
            "nome", "cpf", "cnpj", "drive_serial", "drive_motorizacao", "drive_versao_fw"};
        for (const std::string &key : report_keys()) {
            if (is_event(key))
                wanted.push_back(key);
        }
        return wanted;
    }();
    return keys;
}

ReportFacts facts_of(const FormItems &items) {
    ReportFacts facts;
    std::string cpf;
    std::string cnpj;
    bool any_event = false;
    bool all_zero = true;
    for (const auto &[key, value] : items) {
        if (key == "nome")
            facts.customer = utf8_text(value);
        else if (key == "cpf")
            cpf = utf8_text(value);
        else if (key == "cnpj")
            cnpj = utf8_text(value);
        else if (key == "drive_serial")
            facts.serial = utf8_text(value);
        else if (key == "drive_motorizacao")
            facts.motorization = utf8_text(value);
        else if (key == "drive_versao_fw")
            facts.firmware = utf8_text(value);
        else if (is_event(key)) {
            const long long count = counter_value(value);
            facts.counters.emplace_back(key, count > 0 ? count : 0);
            if (!is_drive_event(key))
                continue;
            any_event = true;
            all_zero = all_zero && count == 0;
            facts.drive_events += count > 0 ? count : 0;
        }
    }
    // Both numbers are always sent; the one that does not apply is usually empty, or only its
    // mask's punctuation.
    facts.taxpayer = has_letter_or_digit(cnpj) ? cnpj : cpf;
    facts.events_cleared = any_event && all_zero;
    return facts;
}

const ReportFacts &StoredBefore::facts_of_report(const NewReport &report) {
    auto found = facts.find(report.id);
    if (found == facts.end())
        found = facts.emplace(report.id, facts_of(report.items)).first;
    return found->second;
}

void look_before(const std::vector<NewReport> &reports, StoredBefore &before,
                 std::vector<SqlStatement> &lookups) {
    for (const NewReport &report : reports) {
        const ChairOfSender key{before.facts_of_report(report).serial, report.client};
        // Before the chair's first report here: its others here are never stored before it.
        if (before.chairs.count(key) == 0)
            lookups.push_back({"SELECT f.report_id, f.received, f.service_id, r.service"
                               " FROM report_facts f JOIN reports r ON r.id = f.report_id"
                               " WHERE f.serial = $1 AND f.client = $2 AND f.report_id < $3"
                               " ORDER BY f.report_id DESC LIMIT 1",
                               {key.first, key.second, report.id},
                               &before.chairs[key]});
        // Whatever its id: a run's report from a batch committed after this one began counts.
        const std::string &run = report.tag.id;
        if (!run.empty() && before.runs.count(run) == 0)
            lookups.push_back({"SELECT MIN(f.service_id) FROM reports r"
                               " JOIN report_facts f ON f.report_id = r.id WHERE r.service = $1",
                               {run},
                               &before.runs[run]});
    }
}

void add_facts(const std::vector<NewReport> &reports, StoredBefore &before,
               std::vector<SqlStatement> &statements, FleetRecording fleet, int fleet_part) {
    std::map<ChairOfSender, Previous> latest;
    RunServices runs;
    read_before(before, latest, runs);
    // Chairs in the order of their serials: two batches committing at once lock the rows they
    // share in the same order, so neither waits for the other in a cycle.
    std::map<std::string, ChairChange> chairs;
    std::vector<FleetReport> fleet_reports;
    for (const NewReport &report : reports) {
        const ReportFacts &facts = before.facts_of_report(report);
        fleet_reports.push_back(
            {report, facts,
             add_report_facts(report, facts, latest[{facts.serial, report.client}], runs,
                              chairs[facts.serial], statements)});
    }
    for (const auto &[serial, change] : chairs)
        statements.push_back(
            {"INSERT INTO chairs (serial, serial_key, last_report_id, services)"
             " VALUES ($1, $2, $3, $4)"
             " ON CONFLICT (serial) DO UPDATE SET"
             " last_report_id = CASE WHEN excluded.last_report_id >"
             " chairs.last_report_id"
             " THEN excluded.last_report_id ELSE chairs.last_report_id END,"
             " services = chairs.services + excluded.services",
             {serial, serial_key(serial), change.last_report_id, change.services}});
    if (fleet == FleetRecording::record)
        add_fleet_facts(fleet_reports, fleet_part, statements);
}

int read_fact_items(SqlConnection &connection, long long first, long long last,
                    std::map<long long, FormItems> &items) {
    std::string keys;
    std::vector<SqlValue> params{first, last};
    for (const std::string &key : fact_keys()) {
        params.emplace_back(key);
        keys += (keys.empty() ? "$" : ",$") + std::to_string(params.size());
    }
    SqlRows rows;
    if (connection.run("SELECT report_id, key, value FROM report_items WHERE report_id >= $1 AND"
                       " report_id <= $2 AND key IN (" +
                           keys + ") ORDER BY report_id, position",
                       params, &rows) != 0)
        return receiver_failed;
    for (SqlRow &row : rows)
        items[std::strtoll(row[0].c_str(), nullptr, 10)].emplace_back(std::move(row[1]),
                                                                      std::move(row[2]));
    return 0;
}

int backfill_facts(SqlConnection &connection) {
    long long after = 0;
    for (;;) {
        SqlRows heads;
        // Only reports stored before facts were kept have none.
        if (connection.run("SELECT id, received, client FROM reports r WHERE id > $1 AND NOT"
                           " EXISTS (SELECT 1 FROM report_facts f WHERE f.report_id = r.id)"
                           " ORDER BY id LIMIT 1000",
                           {after}, &heads) != 0)
            return receiver_failed;
        if (heads.empty())
            return 0;
        const long long first = std::strtoll(heads.front()[0].c_str(), nullptr, 10);
        after = std::strtoll(heads.back()[0].c_str(), nullptr, 10);
        std::map<long long, FormItems> items;
        if (read_fact_items(connection, first, after, items) != 0)
            return receiver_failed;
        const ServiceTag unnamed;
        std::vector<NewReport> reports;
        for (const SqlRow &head : heads) {
            const long long id = std::strtoll(head[0].c_str(), nullptr, 10);
            reports.push_back({id, head[1], head[2], unnamed, items[id]});
        }
        StoredBefore before;
        std::vector<SqlStatement> statements;
        look_before(reports, before, statements);
        if (connection.run_all(statements) != 0)
            return receiver_failed;
        statements.clear();
        add_facts(reports, before, statements, FleetRecording::leave);
        if (connection.run_all(statements) != 0)
            return receiver_failed;
    }
}
