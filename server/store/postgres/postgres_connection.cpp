#include "server/store/postgres/postgres_connection.h"

#include <libpq-fe.h>

#include <cstring>

namespace {

constexpr Oid int8_type = 20;

std::string without_newline(const char *message) {
    std::string text = message == nullptr ? "" : message;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

bool starts_transaction(const std::string &sql) {
    return sql.rfind("BEGIN", 0) == 0;
}

} // namespace

PostgresConnection::~PostgresConnection() {
    PQfinish(conn_);
}

int PostgresConnection::open(const std::string &database, bool read_only) {
    read_only_ = read_only;
    // Settings before dbname are defaults that the maker's connection string may override: a
    // database that does not answer must not hold a post for long. Those after it are the
    // receiver's own: it speaks UTF-8 whatever the database's encoding.
    const char *keys[] = {"connect_timeout", "tcp_user_timeout", "fallback_application_name",
                          "dbname",          "client_encoding",  nullptr};
    const char *values[] = {"5", "10000", "report-receiver", database.c_str(), "UTF8", nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (PQstatus(conn_) != CONNECTION_OK) {
        error_ = without_newline(PQerrorMessage(conn_));
        return sql_failed;
    }
    return connected() ? 0 : sql_failed;
}

// Connects anew when the server dropped the connection, and sets the session up, which a new
// connection does not inherit.
bool PostgresConnection::connected() {
    if (PQstatus(conn_) != CONNECTION_OK) {
        session_ready_ = false;
        statements_.clear();
        PQreset(conn_);
        if (PQstatus(conn_) != CONNECTION_OK) {
            error_ = "no connection: " + without_newline(PQerrorMessage(conn_));
            return false;
        }
    }
    if (!session_ready_)
        session_ready_ = !read_only_ || execute("SET SESSION CHARACTERISTICS AS TRANSACTION"
                                                " ISOLATION LEVEL REPEATABLE READ, READ ONLY",
                                                {}, nullptr) == 0;
    return session_ready_;
}

int PostgresConnection::run(const std::string &sql, const std::vector<SqlValue> &params,
                            SqlRows *rows) {
    if (!connected())
        return sql_failed;
    const bool idle = PQtransactionStatus(conn_) == PQTRANS_IDLE;
    if (execute(sql, params, rows) == 0)
        return 0;
    // Opening a transaction is sent again on a new connection: a connection found dropped at
    // that point had nothing of the transaction yet. Anything later fails, so the report is
    // answered with an error and sent again by the tool: a COMMIT cut off may or may not have
    // committed, and a duplicate is better than a loss.
    if (idle && starts_transaction(sql) && PQstatus(conn_) != CONNECTION_OK && connected())
        return execute(sql, params, rows);
    return sql_failed;
}

// The name of sql's prepared statement, prepared now if it is new; nullptr when it cannot be.
const std::string *PostgresConnection::prepared(const std::string &sql,
                                                const std::vector<Oid> &types) {
    const auto found = statements_.find(sql);
    if (found != statements_.end())
        return &found->second;
    const std::string name = "s" + std::to_string(statements_.size());
    PGresult *result =
        PQprepare(conn_, name.c_str(), sql.c_str(), static_cast<int>(types.size()), types.data());
    const bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!done)
        error_ = without_newline(result != nullptr ? PQresultErrorMessage(result)
                                                   : PQerrorMessage(conn_));
    PQclear(result);
    return done ? &statements_.emplace(sql, name).first->second : nullptr;
}

int PostgresConnection::execute(const std::string &sql, const std::vector<SqlValue> &params,
                                SqlRows *rows) {
    std::vector<std::string> numbers;
    std::vector<const char *> values;
    std::vector<Oid> types;
    numbers.reserve(params.size());
    for (const SqlValue &param : params) {
        // Text travels NUL-terminated: a NUL inside would cut it short unseen.
        if (!param.is_number && param.text.find('\0') != std::string::npos) {
            error_ = "a text parameter holds a NUL byte";
            return sql_failed;
        }
        if (param.is_number)
            numbers.push_back(std::to_string(param.number));
        values.push_back(param.is_number ? numbers.back().c_str() : param.text.c_str());
        // A text's type is taken from where it goes, as a literal's would be.
        types.push_back(param.is_number ? int8_type : 0);
    }
    // PostgreSQL answers a COMMIT outside any transaction (on a connection made anew) with a mere
    // warning, and one that ends a failed transaction with ROLLBACK: neither committed anything.
    const bool commit = sql == "COMMIT";
    const bool committable = PQtransactionStatus(conn_) == PQTRANS_INTRANS;
    const std::string *statement = prepared(sql, types);
    if (statement == nullptr)
        return sql_failed;
    PGresult *result = PQexecPrepared(conn_, statement->c_str(), static_cast<int>(values.size()),
                                      values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(result);
    std::string failure;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        failure = without_newline(result != nullptr ? PQresultErrorMessage(result)
                                                    : PQerrorMessage(conn_));
        if (failure.empty())
            failure = PQresStatus(status);
    } else if (commit && (!committable || std::strcmp(PQcmdStatus(result), "COMMIT") != 0)) {
        failure = "the transaction was lost before its commit";
    }
    for (int row = 0; failure.empty() && rows != nullptr && row < PQntuples(result); ++row) {
        SqlRow columns;
        for (int column = 0; column < PQnfields(result); ++column)
            columns.emplace_back(PQgetvalue(result, row, column),
                                 static_cast<std::size_t>(PQgetlength(result, row, column)));
        rows->push_back(std::move(columns));
    }
    PQclear(result);
    if (failure.empty())
        return 0;
    error_ = failure;
    return sql_failed;
}

int PostgresConnection::begin_write() {
    return run("BEGIN");
}

std::string PostgresConnection::last_error() const {
    return error_;
}
