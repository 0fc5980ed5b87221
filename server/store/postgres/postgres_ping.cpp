#include "server/store/postgres/postgres_connection.h"

#include <libpq-fe.h>

#include <poll.h>

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

// Whether the connection's socket is ready before deadline.
bool PostgresConnection::await_socket(bool writing, Clock::time_point deadline) {
    pollfd watched{PQsocket(conn_), static_cast<short>(writing ? POLLOUT : POLLIN), 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return watched.fd >= 0 && left.count() > 0 &&
           poll(&watched, 1, static_cast<int>(left.count())) == 1;
}

int PostgresConnection::ping_failed(const std::string &why) {
    error_ = why;
    return receiver_failed;
}

// A ping given up is left in flight: the next one first waits for its answer, so the connection
// is made anew only when it is lost, never while the server is merely slow.
int PostgresConnection::ping(std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    if (PQstatus(conn_) == CONNECTION_BAD) {
        statements_.clear();
        session_ready_ = false;
        if (PQresetStart(conn_) != 1)
            return ping_failed("no connection: " + std::string(PQerrorMessage(conn_)));
    }
    for (PostgresPollingStatusType polled = PGRES_POLLING_WRITING;
         PQstatus(conn_) != CONNECTION_OK;) {
        polled = PQresetPoll(conn_);
        if (polled == PGRES_POLLING_FAILED)
            return ping_failed("no connection: " + std::string(PQerrorMessage(conn_)));
        if (polled != PGRES_POLLING_OK && !await_socket(polled == PGRES_POLLING_WRITING, deadline))
            return ping_failed("no connection within the time allowed");
    }
    // The server gives the query up by itself, too: one left waiting on a lock would otherwise
    // hold the connection until the lock went.
    const std::string timed =
        "SET statement_timeout = " + std::to_string(limit.count()) + "; " + ping_query;
    if (PQtransactionStatus(conn_) != PQTRANS_ACTIVE && PQsendQuery(conn_, timed.c_str()) != 1)
        return ping_failed(PQerrorMessage(conn_));
    std::string failure;
    while (true) {
        while (PQisBusy(conn_) == 0) {
            PGresult *result = PQgetResult(conn_);
            if (result == nullptr)
                return failure.empty() ? 0 : ping_failed(failure);
            const ExecStatusType status = PQresultStatus(result);
            if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && failure.empty())
                failure = PQresultErrorMessage(result);
            PQclear(result);
        }
        if (!await_socket(false, deadline))
            return ping_failed("no answer within the time allowed");
        if (PQconsumeInput(conn_) != 1)
            return ping_failed(PQerrorMessage(conn_));
    }
}
