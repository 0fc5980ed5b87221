#pragma once

#include "server/store/report_facts.h"
#include "server/store/sql_connection.h"

#include <vector>

// What the fleet view adds up, recorded as reports are stored so that none of its answers reads a
// report: each service once (its chair, its month and the drive's firmware as the service found
// it), each chair's current motorization and firmware, the services per month and firmware, and
// per month, motorization and firmware the event counters of the services whose first report was
// read before the drive was cleared.
struct FleetReport {
    const NewReport &report;
    const ReportFacts &facts;
    bool starts_service;
};

// Adds to statements those that record reports (ids ascending). The sums by month are kept in
// parts, one a writer, which the queries add up: writers committing at once never share a row of
// them. Rows that other writers also change (the chairs) are written in the order of their keys,
// so no two writers wait for each other in a cycle.
void add_fleet_facts(const std::vector<FleetReport> &reports, int part,
                     std::vector<SqlStatement> &statements);

// Records every report stored before the fleet was kept, oldest first, from its stored facts and
// items. Needs the facts filled. 0 or receiver_failed.
int backfill_fleet(SqlConnection &connection);
