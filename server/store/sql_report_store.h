#pragma once

#include "server/store/report_store.h"
#include "server/store/sql_connection.h"

#include <memory>
#include <mutex>

// The store over any SQL database: one connection for writes and one for reads, each used by one
// thread at a time, so a read never waits behind a commit.
class SqlReportStore : public ReportStore {
public:
    SqlReportStore(std::unique_ptr<SqlConnection> writer, std::unique_ptr<SqlConnection> reader);

    long long add(const std::string &received, const std::string &client,
                  const FormItems &items) override;
    int page(const ReportPageRequest &request, std::vector<StoredReport> &reports) override;

private:
    long long insert(const std::string &received, const std::string &client,
                     const FormItems &items);
    int read_page(const ReportPageRequest &request, std::vector<StoredReport> &reports);

    std::mutex write_mutex_;
    std::unique_ptr<SqlConnection> writer_;
    std::mutex read_mutex_;
    std::unique_ptr<SqlConnection> reader_;
};
