#include "server/report_store.h"

#include <sqlite3.h>

#include <map>

namespace {

constexpr const char *schema = "CREATE TABLE IF NOT EXISTS reports ("
                               " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                               " received TEXT NOT NULL,"
                               " client TEXT NOT NULL);"
                               "CREATE TABLE IF NOT EXISTS report_items ("
                               " report_id INTEGER NOT NULL REFERENCES reports(id),"
                               " position INTEGER NOT NULL,"
                               " key TEXT NOT NULL,"
                               " value TEXT NOT NULL,"
                               " PRIMARY KEY (report_id, position));";

// Finalises a prepared statement however the function that made it returns.
class Statement {
public:
    Statement(sqlite3 *db, const char *sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
            sqlite3_finalize(statement_);
            statement_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool valid() const { return statement_ != nullptr; }
    sqlite3_stmt *get() const { return statement_; }

    bool bind_text(int index, const std::string &text) {
        return sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }

    std::string column_text(int column) const {
        const auto *text = sqlite3_column_text(statement_, column);
        const int size = sqlite3_column_bytes(statement_, column);
        return text == nullptr ? std::string()
                               : std::string(reinterpret_cast<const char *>(text),
                                             static_cast<std::size_t>(size));
    }

private:
    sqlite3_stmt *statement_ = nullptr;
};

} // namespace

ReportStore::~ReportStore() {
    sqlite3_close(db_);
}

int ReportStore::open(const std::string &path) {
    std::lock_guard<std::mutex> lock(mutex_);
    sqlite3_close(db_);
    db_ = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        return store_open_failed;
    }
    // WAL keeps readers of the file off the writer's back; NORMAL sync in WAL mode still
    // survives a crash of this process after the commit.
    sqlite3_busy_timeout(db_, 5000);
    if (!execute("PRAGMA journal_mode=WAL;") || !execute("PRAGMA synchronous=NORMAL;") ||
        !execute("PRAGMA foreign_keys=ON;") || !execute(schema)) {
        sqlite3_close(db_);
        db_ = nullptr;
        return store_open_failed;
    }
    return 0;
}

bool ReportStore::execute(const char *sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

long long ReportStore::add(const std::string &received, const std::string &client,
                           const FormItems &items) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (db_ == nullptr || !execute("BEGIN IMMEDIATE;"))
        return store_write_failed;
    const long long id = insert_report(received, client, items);
    if (id < 0 || !execute("COMMIT;")) {
        execute("ROLLBACK;");
        return store_write_failed;
    }
    return id;
}

long long ReportStore::insert_report(const std::string &received, const std::string &client,
                                     const FormItems &items) {
    Statement report(db_, "INSERT INTO reports (received, client) VALUES (?1, ?2);");
    if (!report.valid() || !report.bind_text(1, received) || !report.bind_text(2, client) ||
        sqlite3_step(report.get()) != SQLITE_DONE)
        return store_write_failed;
    const long long id = sqlite3_last_insert_rowid(db_);

    Statement item(db_, "INSERT INTO report_items (report_id, position, key, value)"
                        " VALUES (?1, ?2, ?3, ?4);");
    if (!item.valid())
        return store_write_failed;
    for (std::size_t position = 0; position < items.size(); ++position) {
        sqlite3_reset(item.get());
        if (sqlite3_bind_int64(item.get(), 1, id) != SQLITE_OK ||
            sqlite3_bind_int64(item.get(), 2, static_cast<long long>(position)) != SQLITE_OK ||
            !item.bind_text(3, items[position].first) ||
            !item.bind_text(4, items[position].second) || sqlite3_step(item.get()) != SQLITE_DONE)
            return store_write_failed;
    }
    return id;
}

int ReportStore::list(std::vector<StoredReport> &reports) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (db_ == nullptr || !execute("BEGIN;"))
        return store_read_failed;
    std::vector<StoredReport> found;
    const int result = read_items(found);
    execute("COMMIT;");
    if (result == 0)
        reports = std::move(found);
    return result;
}

int ReportStore::read_items(std::vector<StoredReport> &reports) {
    Statement head(db_, "SELECT id, received, client FROM reports ORDER BY id DESC;");
    if (!head.valid())
        return store_read_failed;
    std::map<long long, std::size_t> index_of;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(head.get())) == SQLITE_ROW) {
        StoredReport report;
        report.id = sqlite3_column_int64(head.get(), 0);
        report.received = head.column_text(1);
        report.client = head.column_text(2);
        index_of[report.id] = reports.size();
        reports.push_back(std::move(report));
    }
    if (step != SQLITE_DONE)
        return store_read_failed;

    Statement items(db_, "SELECT report_id, key, value FROM report_items"
                         " ORDER BY report_id, position;");
    if (!items.valid())
        return store_read_failed;
    while ((step = sqlite3_step(items.get())) == SQLITE_ROW) {
        const auto found = index_of.find(sqlite3_column_int64(items.get(), 0));
        if (found != index_of.end())
            reports[found->second].items.emplace_back(items.column_text(1), items.column_text(2));
    }
    return step == SQLITE_DONE ? 0 : store_read_failed;
}
