#include "server/store/report_store.h"
#include "server/store/schema.h"
#include "server/store/sql_report_store.h"
#include "server/store/sqlite/sqlite_connection.h"

int open_report_store(const std::string &database, std::unique_ptr<ReportStore> &store,
                      std::string &error) {
    auto writer = std::make_unique<SqliteConnection>();
    auto reader = std::make_unique<SqliteConnection>();
    if (writer->open(database, false) != 0) {
        error = "cannot open " + database + ": " + writer->last_error();
        return store_open_failed;
    }
    if (upgrade_schema(*writer, error) != 0)
        return store_open_failed;
    if (reader->open(database, true) != 0) {
        error = "cannot open " + database + " for reading: " + reader->last_error();
        return store_open_failed;
    }
    store = std::make_unique<SqlReportStore>(std::move(writer), std::move(reader));
    return 0;
}
