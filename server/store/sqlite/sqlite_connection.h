#pragma once

#include "server/store/sql_connection.h"

#include <map>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// Creates the database readable and writable by its owner only before SQLite opens it: SQLite
// gives its WAL and shared-memory files the same mode. Reports hold personal data, so a database,
// or one of those files, left readable by others from before is made private too. Called before
// any connection opens the file: closing a descriptor of it drops every lock this process holds
// on it. 0, or receiver_failed with error saying why.
int make_database_private(const std::string &path, std::string &error);

// A connection to one SQLite file. Statements are prepared once and kept.
class SqliteConnection : public SqlConnection {
public:
    ~SqliteConnection() override;

    // Opens the file in WAL mode with
    // full sync, so a commit is on disk before it returns. A read-only connection never takes the
    // write lock. 0 or receiver_failed.
    int open(const std::string &path, bool read_only);

    SqlDialect dialect() const override { return SqlDialect::sqlite; }
    int run(const std::string &sql, const std::vector<SqlValue> &params = {},
            SqlRows *rows = nullptr) override;
    int begin_write(const std::vector<SqlStatement> &first) override;
    // A lock held elsewhere is waited for within limit.
    int ping(std::chrono::milliseconds limit) override;
    std::string last_error() const override;
    bool in_transaction() const override;

private:
    sqlite3_stmt *prepared(const std::string &sql);
    bool bind(sqlite3_stmt *statement, const std::vector<SqlValue> &params);

    sqlite3 *db_ = nullptr;
    std::string error_ = "cannot open the database"; // why, before SQLite has opened it
    std::map<std::string, sqlite3_stmt *> statements_;
};
