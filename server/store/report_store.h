#pragma once

#include "server/store/audit_trail.h"
#include "server/store/service_history.h"
#include "server/store/store_statistics.h"
#include "server/text/failure.h"
#include "server/text/form_decoding.h"
#include "server/text/service_header.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

constexpr int store_write_failed = -2;
constexpr int store_read_failed = -3;
constexpr long long report_already_stored = 0;

struct StoredReport {
    long long id = 0;
    std::string received; // UTC, ISO-8601
    std::string client;   // address of the sender
    FormItems items;      // in the order they were sent
};

// One page of the listing, newest first: the reports with an id below `before` (0: from the
// newest), at most `limit` of them.
struct ReportPageRequest {
    long long before = 0;
    int limit = 50;
};

// Where the receiver keeps its reports. Safe to call from several threads at once; a read never
// waits for a write to finish.
class ReportStore : public ServiceHistory {
public:
    virtual ~ReportStore() = default;

    // Stores one report with all its items in one durable transaction. Its id (1 or more) once
    // committed; report_already_stored, with nothing more stored, when the report of tag's run
    // and stage is committed already; or store_write_failed with nothing stored.
    virtual long long add(const std::string &received, const std::string &client,
                          const ServiceTag &tag, const FormItems &items) = 0;

    // One page of the stored reports, newest first. 0 or store_read_failed.
    virtual int page(const ReportPageRequest &request, std::vector<StoredReport> &reports) = 0;

    // Whether the database answers a trivial query within the time given, on a connection of its
    // own, so that no post or read waits for it, nor it for them. 0 or store_read_failed.
    virtual int answers_within(std::chrono::milliseconds limit) = 0;

    // Runs work on a read-write connection of its own, kept for the staff's records (accounts,
    // sessions, the audit, erasures) so they never wait behind a batch of reports; one work at a
    // time; work that fails with receiver_failed goes once more, as after a dropped connection.
    // What work returns; when it fails (below 0), failure() says why and the transaction work
    // left open, if any, is rolled back.
    virtual int keep(const std::function<int(SqlConnection &)> &work) = 0;

    // Appends entry to the audit. 0 or store_write_failed.
    int record(const AuditEntry &entry);

    virtual const StoreStatistics &statistics() const = 0;
};

// Whether database names a PostgreSQL database: a libpq URI, or a key=value connection string
// ("host=db dbname=reports"). Anything else is an SQLite file.
bool names_postgresql(const std::string &database);

// Opens the store named by database: a PostgreSQL connection string or URI, else an SQLite file
// (created, with its journal, readable by the owner only). The schema is created or upgraded.
// 0 or receiver_failed, with error saying why.
int open_report_store(const std::string &database, std::unique_ptr<ReportStore> &store,
                      std::string &error);
