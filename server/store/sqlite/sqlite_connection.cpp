#include "server/store/sqlite/sqlite_connection.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Takes the file open as fd from everyone but its owner, if anyone else may use it. False, with
// error, when that is refused (the file is another user's).
bool make_private(int fd, const std::string &path, std::string &error) {
    struct stat status {};
    if (fstat(fd, &status) == 0 && ((status.st_mode & 077) == 0 || fchmod(fd, 0600) == 0))
        return true;
    error = path + " is open to other users and cannot be made private (mode 0600): " +
            std::strerror(errno);
    return false;
}

std::string column_text(sqlite3_stmt *statement, int column) {
    const auto *text = sqlite3_column_text(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char *>(text), static_cast<std::size_t>(size));
}

} // namespace

int make_database_private(const std::string &path, std::string &error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return receiver_failed;
    }
    bool done = make_private(fd, path, error);
    ::close(fd);
    for (const char *suffix : {"-wal", "-shm"}) {
        const std::string side = path + suffix;
        const int side_fd = ::open(side.c_str(), O_RDONLY | O_CLOEXEC);
        if (side_fd >= 0) {
            done = done && make_private(side_fd, side, error);
            ::close(side_fd);
        }
    }
    return done ? 0 : receiver_failed;
}

SqliteConnection::~SqliteConnection() {
    for (auto &[sql, statement] : statements_)
        sqlite3_finalize(statement);
    sqlite3_close(db_);
}

int SqliteConnection::open(const std::string &path, bool read_only) {
    const int flags = read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
        return receiver_failed;
    sqlite3_busy_timeout(db_, 5000);
    if (read_only)
        return 0;
    // FULL: the WAL is synced at every commit, so "OK" survives a power cut. secure_delete: what
    // a write frees or replaces is zeroed, so erased personal data does not linger in the file.
    const char *setup = "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;"
                        " PRAGMA secure_delete=ON;";
    return sqlite3_exec(db_, setup, nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : receiver_failed;
}

sqlite3_stmt *SqliteConnection::prepared(const std::string &sql) {
    const auto found = statements_.find(sql);
    if (found != statements_.end()) {
        sqlite3_reset(found->second);
        sqlite3_clear_bindings(found->second);
        return found->second;
    }
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    statements_.emplace(sql, statement);
    return statement;
}

bool SqliteConnection::bind(sqlite3_stmt *statement, const std::vector<SqlValue> &params) {
    const int count = sqlite3_bind_parameter_count(statement);
    for (int i = 1; i <= count; ++i) {
        // Parameters are named $N: their order in the text need not be their number.
        const char *name = sqlite3_bind_parameter_name(statement, i);
        if (name == nullptr || name[0] != '$')
            return false;
        const long number = std::strtol(name + 1, nullptr, 10);
        if (number < 1 || static_cast<std::size_t>(number) > params.size())
            return false;
        const SqlValue &value = params[static_cast<std::size_t>(number - 1)];
        const int result = value.is_number ? sqlite3_bind_int64(statement, i, value.number)
                                           : sqlite3_bind_text(statement, i, value.text.data(),
                                                               static_cast<int>(value.text.size()),
                                                               SQLITE_TRANSIENT);
        if (result != SQLITE_OK)
            return false;
    }
    return true;
}

int SqliteConnection::run(const std::string &sql, const std::vector<SqlValue> &params,
                          SqlRows *rows) {
    sqlite3_stmt *statement = prepared(sql);
    if (statement == nullptr || !bind(statement, params))
        return receiver_failed;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        if (rows == nullptr)
            continue;
        SqlRow row;
        const int columns = sqlite3_column_count(statement);
        for (int column = 0; column < columns; ++column)
            row.push_back(column_text(statement, column));
        rows->push_back(std::move(row));
    }
    sqlite3_reset(statement);
    return step == SQLITE_DONE ? 0 : receiver_failed;
}

int SqliteConnection::begin_write(const std::vector<SqlStatement> &first) {
    return run("BEGIN IMMEDIATE") == 0 ? run_all(first) : receiver_failed;
}

int SqliteConnection::ping(std::chrono::milliseconds limit) {
    sqlite3_busy_timeout(db_, static_cast<int>(limit.count()));
    return run(ping_query);
}

std::string SqliteConnection::last_error() const {
    return db_ == nullptr ? error_ : sqlite3_errmsg(db_);
}

bool SqliteConnection::in_transaction() const {
    return db_ != nullptr && sqlite3_get_autocommit(db_) == 0;
}
