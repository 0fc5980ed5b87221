#include "server/store/postgres/postgres_connection.h"

#include <libpq-fe.h>

#include <algorithm>
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

// Statements sent before their answers are read. Their answers wait in the socket's buffers
// meanwhile: enough of them would stop the server, and with it the sending.
constexpr std::size_t pipeline_depth = 100;

// A statement's parameters as libpq takes them: every value as text, numbers typed int8, and a
// text's type taken from where it goes, as a literal's would be.
struct BoundParams {
    std::vector<std::string> numbers;
    std::vector<const char *> values;
    std::vector<Oid> types;
};

// False when a text holds a NUL byte: it travels NUL-terminated and would be cut short unseen.
bool bind_params(const std::vector<SqlValue> &params, BoundParams &bound) {
    bound.numbers.reserve(params.size());
    for (const SqlValue &param : params) {
        if (!param.is_number && param.text.find('\0') != std::string::npos)
            return false;
        if (param.is_number)
            bound.numbers.push_back(std::to_string(param.number));
        bound.values.push_back(param.is_number ? bound.numbers.back().c_str() : param.text.c_str());
        bound.types.push_back(param.is_number ? int8_type : 0);
    }
    return true;
}

// Why a statement's result is a failure, or "" when it is none. committable: the connection was
// in a transaction when the statement was sent.
std::string failure_of(PGconn *conn, PGresult *result, const std::string &sql, bool committable) {
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const std::string failure = without_newline(result != nullptr ? PQresultErrorMessage(result)
                                                                      : PQerrorMessage(conn));
        return failure.empty() ? PQresStatus(status) : failure;
    }
    // PostgreSQL answers a COMMIT outside any transaction (on a connection made anew) with a mere
    // warning, and one that ends a failed transaction with ROLLBACK: neither committed anything.
    if (sql == "COMMIT" && (!committable || std::strcmp(PQcmdStatus(result), "COMMIT") != 0))
        return "the transaction was lost before its commit";
    return "";
}

void append_rows(PGresult *result, SqlRows *rows) {
    for (int row = 0; rows != nullptr && row < PQntuples(result); ++row) {
        SqlRow columns;
        for (int column = 0; column < PQnfields(result); ++column)
            columns.emplace_back(PQgetvalue(result, row, column),
                                 static_cast<std::size_t>(PQgetlength(result, row, column)));
        rows->push_back(std::move(columns));
    }
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
        return receiver_failed;
    }
    return connected() ? 0 : receiver_failed;
}

// Connects anew when the server dropped the connection, and sets the session up, which a new
// connection does not inherit.
bool PostgresConnection::connected() {
    if (PQstatus(conn_) != CONNECTION_OK || PQpipelineStatus(conn_) != PQ_PIPELINE_OFF) {
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
        return receiver_failed;
    const bool idle = PQtransactionStatus(conn_) == PQTRANS_IDLE;
    if (execute(sql, params, rows) == 0)
        return 0;
    // Opening a transaction is sent again on a new connection: a connection found dropped at
    // that point had nothing of the transaction yet. Anything later fails, so the report is
    // answered with an error and sent again by the tool: a COMMIT cut off may or may not have
    // committed, and a duplicate is better than a loss.
    if (idle && starts_transaction(sql) && PQstatus(conn_) != CONNECTION_OK && connected())
        return execute(sql, params, rows);
    return receiver_failed;
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
    BoundParams bound;
    if (!bind_params(params, bound)) {
        error_ = "a text parameter holds a NUL byte";
        return receiver_failed;
    }
    const bool committable = PQtransactionStatus(conn_) == PQTRANS_INTRANS;
    const std::string *statement = prepared(sql, bound.types);
    if (statement == nullptr)
        return receiver_failed;
    PGresult *result =
        PQexecPrepared(conn_, statement->c_str(), static_cast<int>(bound.values.size()),
                       bound.values.data(), nullptr, nullptr, 0);
    const std::string failure = failure_of(conn_, result, sql, committable);
    if (failure.empty())
        append_rows(result, rows);
    PQclear(result);
    if (failure.empty())
        return 0;
    error_ = failure;
    return receiver_failed;
}

int PostgresConnection::run_all(const std::vector<SqlStatement> &statements) {
    if (!connected())
        return receiver_failed;
    const bool committable = PQtransactionStatus(conn_) == PQTRANS_INTRANS;
    for (std::size_t first = 0; first < statements.size(); first += pipeline_depth) {
        const std::size_t end = std::min(statements.size(), first + pipeline_depth);
        if (pipeline(statements, first, end, committable) != 0)
            return receiver_failed;
    }
    return 0;
}

// Sends statements [first, end) in pipeline mode and reads their answers once they are all sent.
// After a failure the server skips the rest.
int PostgresConnection::pipeline(const std::vector<SqlStatement> &statements, std::size_t first,
                                 std::size_t end, bool committable) {
    // Prepared beforehand: preparing waits for its answer, which a pipeline may not.
    std::vector<BoundParams> bound(end - first);
    std::vector<const std::string *> names;
    for (std::size_t i = first; i < end; ++i) {
        if (!bind_params(statements[i].params, bound[i - first])) {
            error_ = "a text parameter holds a NUL byte";
            return receiver_failed;
        }
        names.push_back(prepared(statements[i].sql, bound[i - first].types));
        if (names.back() == nullptr)
            return receiver_failed;
    }
    std::string failure;
    std::size_t sent = 0;
    const bool piped = PQenterPipelineMode(conn_) == 1;
    while (piped && sent < names.size() &&
           PQsendQueryPrepared(conn_, names[sent]->c_str(),
                               static_cast<int>(bound[sent].values.size()),
                               bound[sent].values.data(), nullptr, nullptr, 0) == 1)
        ++sent;
    // Without the sync the server holds its answers back: none is waited for, and the connection,
    // left in pipeline mode, is made anew by the next call.
    const bool synced = piped && PQpipelineSync(conn_) == 1;
    if (sent < names.size() || !synced)
        failure = without_newline(PQerrorMessage(conn_));
    for (std::size_t i = 0; synced && i < sent; ++i) {
        PGresult *result = PQgetResult(conn_);
        const std::string problem =
            failure_of(conn_, result, statements[first + i].sql, committable);
        if (problem.empty())
            append_rows(result, statements[first + i].rows);
        else if (failure.empty())
            failure = problem;
        // Each statement's answer ends with a null result.
        for (; result != nullptr; result = PQgetResult(conn_))
            PQclear(result);
    }
    if (synced) {
        PQclear(PQgetResult(conn_)); // the sync's own
        PQexitPipelineMode(conn_);
    }
    if (failure.empty())
        return 0;
    error_ = failure;
    return receiver_failed;
}

int PostgresConnection::begin_write(const std::vector<SqlStatement> &first) {
    std::vector<SqlStatement> statements{{"BEGIN", {}}};
    statements.insert(statements.end(), first.begin(), first.end());
    if (!connected())
        return receiver_failed;
    const bool idle = PQtransactionStatus(conn_) == PQTRANS_IDLE;
    if (run_all(statements) == 0)
        return 0;
    // As in run: nothing of the transaction reached a connection dropped at its opening.
    if (!idle || PQstatus(conn_) == CONNECTION_OK || !connected())
        return receiver_failed;
    for (const SqlStatement &statement : first) {
        if (statement.rows != nullptr)
            statement.rows->clear();
    }
    return run_all(statements);
}

std::string PostgresConnection::last_error() const {
    return error_;
}

bool PostgresConnection::in_transaction() const {
    const PGTransactionStatusType status = PQtransactionStatus(conn_);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}
