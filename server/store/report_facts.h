#pragma once

#include "server/store/sql_connection.h"
#include "server/text/form_decoding.h"
#include "server/text/service_header.h"

#include <map>
#include <string>
#include <vector>

// What the service history needs of a report, taken from its items once when it is stored, so
// that listing chairs and services never reads the items.
struct ReportFacts {
    std::string serial;          // the drive's serial text: the chair
    std::string customer;        // the customer's name
    std::string taxpayer;        // the CNPJ when the report has one, else the CPF
    std::string motorization;    // the drive's motorization family
    std::string firmware;        // the drive's firmware version text
    bool events_cleared = false; // every drive event counter reads 0: the run has just cleared them
    long long drive_events = 0;  // the drive's counters added up
    // Every event counter of panel and drive by its key; one that is not a number counts 0.
    std::vector<std::pair<std::string, long long>> counters;
};

// The keys of the items that facts_of reads.
const std::vector<std::string> &fact_keys();

ReportFacts facts_of(const FormItems &items);

// A run of the tool that does not name itself sends a report before it changes the chair and one
// after it cleared the drive's events: that second report must follow within this time.
constexpr long long service_run_milliseconds = 10LL * 60 * 1000;

// A report stored, or to be stored, by earlier statements of the same transaction.
struct NewReport {
    long long id;
    const std::string &received;
    const std::string &client;
    const ServiceTag &tag;
    const FormItems &items;
};

// Whether add_facts also records what the fleet view adds up (fleet_facts.h). The schema step
// that first fills the facts leaves it: the fleet's tables come in a later step.
enum class FleetRecording { record, leave };

using ChairOfSender = std::pair<std::string, std::string>; // serial, client

// What the facts of reports need of the reports stored before them, read by the lookups that
// look_before adds, and the facts of each report, taken once. Stays in place while the lookups
// run: they write into it.
struct StoredBefore {
    std::map<ChairOfSender, SqlRows> chairs; // each chair's latest report from its sender
    std::map<std::string, SqlRows> runs;     // the service of each named run
    std::map<long long, ReportFacts> facts;  // by report id

    const ReportFacts &facts_of_report(const NewReport &report);
};

// Adds to lookups those that read what add_facts needs of the reports stored before reports (ids
// ascending). They may run in the round trip that stores the reports' heads, after it: a run's
// report committed meanwhile by another writer is then seen.
void look_before(const std::vector<NewReport> &reports, StoredBefore &before,
                 std::vector<SqlStatement> &lookups);

// Adds to statements those that record the facts of reports (ids ascending, each looked before),
// and their chairs' changes. A report naming its run joins that run's service, whenever it comes
// and whoever sends it; one that does not is paired with the report before it, when that is the
// "before" of the same run by timing. The two kinds never pair with each other. fleet_part: the
// writer's part of the fleet's sums (fleet_facts.h).
void add_facts(const std::vector<NewReport> &reports, StoredBefore &before,
               std::vector<SqlStatement> &statements, FleetRecording fleet = FleetRecording::record,
               int fleet_part = 0);

// The items the facts are made of, of the reports with ids first to last, by report id, in the
// order sent. 0 or receiver_failed.
int read_fact_items(SqlConnection &connection, long long first, long long last,
                    std::map<long long, FormItems> &items);

// Records the facts of every report stored before facts were kept, oldest first, so they pair
// as if they had just arrived. Needs the runs' columns of reports. 0 or receiver_failed.
int backfill_facts(SqlConnection &connection);
