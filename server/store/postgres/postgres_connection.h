#pragma once

#include "server/store/sql_connection.h"

#include <map>
#include <string>

struct pg_conn;

// A connection to a PostgreSQL database through libpq. Statements are prepared once and kept.
// When the server drops it (a restart, a
// failover), the call that meets the loss fails, so its caller answers with an error, and the
// next call connects anew; a transaction cut off by the loss is gone, so a caller stops its
// transaction at the first failure.
class PostgresConnection : public SqlConnection {
public:
    PostgresConnection() = default;
    ~PostgresConnection() override;
    PostgresConnection(const PostgresConnection &) = delete;
    PostgresConnection &operator=(const PostgresConnection &) = delete;

    // Connects to the database named by a libpq connection string or URI. A read-only connection
    // sees each transaction as one snapshot and never writes. 0 or receiver_failed.
    int open(const std::string &database, bool read_only);

    SqlDialect dialect() const override { return SqlDialect::postgresql; }
    int run(const std::string &sql, const std::vector<SqlValue> &params = {},
            SqlRows *rows = nullptr) override;
    // In pipeline mode: a round trip for each hundred statements.
    int run_all(const std::vector<SqlStatement> &statements) override;
    // A connection found dropped as the transaction opens is made anew, and the whole sent again.
    int begin_write(const std::vector<SqlStatement> &first) override;
    // In postgres_ping.cpp: without blocking, so that limit holds however the server fails.
    int ping(std::chrono::milliseconds limit) override;
    std::string last_error() const override;
    bool in_transaction() const override;

private:
    bool connected();
    const std::string *prepared(const std::string &sql, const std::vector<unsigned> &types);
    int execute(const std::string &sql, const std::vector<SqlValue> &params, SqlRows *rows);
    int pipeline(const std::vector<SqlStatement> &statements, std::size_t first, std::size_t end,
                 bool committable);
    bool await_socket(bool writing, std::chrono::steady_clock::time_point deadline);
    int ping_failed(const std::string &why);

    pg_conn *conn_ = nullptr;
    bool read_only_ = false;
    bool session_ready_ = false;
    std::map<std::string, std::string> statements_; // their names, on this connection only
    std::string error_;
};
