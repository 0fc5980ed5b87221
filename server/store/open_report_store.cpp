#include "server/store/postgres/postgres_connection.h"
#include "server/store/report_store.h"
#include "server/store/schema.h"
#include "server/store/sql_report_store.h"
#include "server/store/sqlite/sqlite_connection.h"

namespace {

// Writers committing at once: PostgreSQL works on the next batch while one batch's commit is
// being synced. More would split the same posts into smaller batches, each paying its statements
// and its sync again. An SQLite file takes one writer at a time.
constexpr std::size_t postgresql_writers = 2;

// Writers, the first of which creates or upgrades the schema, a reader, a reader for health checks
// alone and a connection for the staff's records. where names the database in messages: never the
// connection string, which may hold a password.
template <class Connection>
int open_sql_store(const std::string &database, const std::string &where, std::size_t writer_count,
                   std::unique_ptr<ReportStore> &store, std::string &error) {
    std::vector<std::unique_ptr<SqlConnection>> writers;
    while (writers.size() < writer_count) {
        auto writer = std::make_unique<Connection>();
        if (writer->open(database, false) != 0) {
            error = "cannot open " + where + ": " + writer->last_error();
            return receiver_failed;
        }
        if (writers.empty() && upgrade_schema(*writer, error) != 0)
            return receiver_failed;
        writers.push_back(std::move(writer));
    }
    std::unique_ptr<Connection> readers[2];
    for (auto &reader : readers) {
        reader = std::make_unique<Connection>();
        if (reader->open(database, true) != 0) {
            error = "cannot open " + where + " for reading: " + reader->last_error();
            return receiver_failed;
        }
    }
    auto keeper = std::make_unique<Connection>();
    if (keeper->open(database, false) != 0) {
        error = "cannot open " + where + ": " + keeper->last_error();
        return receiver_failed;
    }
    store = std::make_unique<SqlReportStore>(std::move(writers), std::move(readers[0]),
                                             std::move(readers[1]), std::move(keeper));
    return 0;
}

} // namespace

bool names_postgresql(const std::string &database) {
    if (database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0)
        return true;
    const std::size_t key_end = database.find_first_not_of("abcdefghijklmnopqrstuvwxyz_");
    return key_end > 0 && key_end != std::string::npos &&
           database.find_first_not_of(' ', key_end) == database.find('=', key_end);
}

int open_report_store(const std::string &database, std::unique_ptr<ReportStore> &store,
                      std::string &error) {
    if (names_postgresql(database))
        return open_sql_store<PostgresConnection>(database, "the PostgreSQL database",
                                                  postgresql_writers, store, error);
    std::string why;
    if (make_database_private(database, why) != 0) {
        error = "cannot open " + database + ": " + why;
        return receiver_failed;
    }
    return open_sql_store<SqliteConnection>(database, database, 1, store, error);
}
