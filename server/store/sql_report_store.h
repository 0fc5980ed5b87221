#pragma once

#include "server/store/report_store.h"
#include "server/store/sql_connection.h"

#include <condition_variable>
#include <memory>
#include <mutex>

// The store over any SQL database: connections for writes and one for reads, each used by one
// thread at a time, so a read never waits behind a commit. Reports that arrive while every writer
// is busy are committed together in the next transaction: one sync for many senders, and a few
// round trips for the whole batch.
class SqlReportStore : public ReportStore {
public:
    // pinger: a connection for answers_within() alone; keeper: for keep() alone.
    SqlReportStore(std::vector<std::unique_ptr<SqlConnection>> writers,
                   std::unique_ptr<SqlConnection> reader, std::unique_ptr<SqlConnection> pinger,
                   std::unique_ptr<SqlConnection> keeper);

    long long add(const std::string &received, const std::string &client, const ServiceTag &tag,
                  const FormItems &items) override;
    int page(const ReportPageRequest &request, std::vector<StoredReport> &reports) override;
    // In service_queries.cpp.
    int chairs(const ChairPageRequest &request, std::vector<ChairSummary> &chairs) override;
    int services(const ServicePageRequest &request, std::vector<ServiceSummary> &services) override;
    int service(long long id, ServiceRecord &service) override;
    int fleet(const FleetRequest &request, FleetFigures &figures) override; // fleet_queries.cpp
    std::string failure() const override;
    int answers_within(std::chrono::milliseconds limit) override;
    int keep(const std::function<int(SqlConnection &)> &work) override;
    const StoreStatistics &statistics() const override { return statistics_; }

private:
    struct Pending {
        const std::string &received;
        const std::string &client;
        const ServiceTag &tag;
        const FormItems &items;
        long long id = store_write_failed;
        bool done = false;
        std::string cause{}; // the database's message when it was not stored
    };

    static std::string &failed_because(); // this thread's failure()

    void write(SqlConnection &writer, int part, const std::vector<Pending *> &batch);
    static void add_heads(SqlDialect dialect, const std::vector<Pending *> &batch,
                          const std::vector<long long> &ids, std::vector<SqlRows> &stored,
                          std::vector<SqlStatement> &statements);
    int read_page(const ReportPageRequest &request, std::vector<StoredReport> &reports);

    std::mutex queue_mutex_;
    std::condition_variable written_;
    std::vector<Pending *> queue_;
    // A writer and the part of the fleet's sums it adds to: each writer its own rows, so writers
    // committing at once never wait for each other on a month's sums.
    struct Writer {
        int part;
        std::unique_ptr<SqlConnection> connection;
    };
    std::vector<Writer> idle_writers_; // each taken by one writing thread

    std::mutex read_mutex_;
    std::unique_ptr<SqlConnection> reader_;

    std::timed_mutex ping_mutex_;
    std::unique_ptr<SqlConnection> pinger_;
    std::mutex keeper_mutex_;
    std::unique_ptr<SqlConnection> keeper_;

    StoreStatistics statistics_;
};
