#pragma once

#include "server/text/failure.h"

#include <chrono>
#include <string>
#include <vector>

// A statement parameter: an integer or a text. Placeholders are written $1, $2, ... in both
// databases' dialects.
struct SqlValue {
    SqlValue(long long number) : is_number(true), number(number) {}
    SqlValue(std::string text) : text(std::move(text)) {}
    SqlValue(const char *text) : text(text) {}

    bool is_number = false;
    long long number = 0;
    std::string text;
};

using SqlRow = std::vector<std::string>; // every column as text, NULL as ""
using SqlRows = std::vector<SqlRow>;

enum class SqlDialect { sqlite, postgresql };

// The trivial read of a ping: it needs the database's file or server, and its schema.
constexpr const char *ping_query = "SELECT MAX(version) FROM schema_version";

// One statement of several run together; its rows go to rows when given.
struct SqlStatement {
    std::string sql;
    std::vector<SqlValue> params;
    SqlRows *rows = nullptr;
};

// One connection to the database behind the store. Not thread-safe: the store serialises its use.
class SqlConnection {
public:
    virtual ~SqlConnection() = default;

    virtual SqlDialect dialect() const = 0;

    // Runs one statement; its rows, if any, are appended to rows when given. 0 or receiver_failed.
    virtual int run(const std::string &sql, const std::vector<SqlValue> &params = {},
                    SqlRows *rows = nullptr) = 0;

    // Runs statements in order, stopping at the first that fails. A database across a network
    // takes them all before it answers, so they cost one round trip. 0 or receiver_failed.
    virtual int run_all(const std::vector<SqlStatement> &statements) {
        for (const SqlStatement &statement : statements) {
            if (run(statement.sql, statement.params, statement.rows) != 0)
                return receiver_failed;
        }
        return 0;
    }

    // Opens a transaction that holds the write lock from its start, so two writers never
    // deadlock on an upgrade, and runs first in it, as run_all would, in the same round trip.
    // 0 or receiver_failed.
    virtual int begin_write(const std::vector<SqlStatement> &first = {}) = 0;

    // Runs a trivial read, given up once limit has passed however the database holds it (locked,
    // stopped, hung). 0 or receiver_failed; after a failure the connection may be pinged again.
    virtual int ping(std::chrono::milliseconds limit) = 0;

    // The last failure as the database described it, for the operator's log.
    virtual std::string last_error() const = 0;

    // True while a transaction is open, failed or not.
    virtual bool in_transaction() const = 0;
};
