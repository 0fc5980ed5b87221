#include "server/store/sqlite/sqlite_backup.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

constexpr int pages_per_step = 100;

using Database = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

// Opens an existing file read-write: when no receiver runs, the backup's connection to the source
// is the last one and removes the WAL files it made, which a receiver running as another user
// could not open.
Database open_existing(const std::string &path) {
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (db != nullptr)
        sqlite3_busy_timeout(db, 5000);
    return Database(db, &sqlite3_close);
}

std::string message(sqlite3 *db) {
    return db == nullptr ? "out of memory" : sqlite3_errmsg(db);
}

// Copies one snapshot of source into target. A receiver's database is in WAL mode, where this
// reader never holds up a post's commit; and since the snapshot is held from the first step to the
// last, a post committed meanwhile does not make the backup start over.
bool copy_pages(sqlite3 *source, sqlite3 *target, std::string &error) {
    if (sqlite3_exec(source, "BEGIN; SELECT COUNT(*) FROM sqlite_schema", nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
        error = message(source);
        return false;
    }
    sqlite3_backup *backup = sqlite3_backup_init(target, "main", source, "main");
    int step = SQLITE_ERROR;
    while (backup != nullptr && (step = sqlite3_backup_step(backup, pages_per_step)) == SQLITE_OK) {
    }
    sqlite3_backup_finish(backup);
    sqlite3_exec(source, "COMMIT", nullptr, nullptr, nullptr);
    if (step == SQLITE_DONE)
        return true;
    error = message(target);
    return false;
}

// The copy's own verdict on itself: true when it is "ok", else error holds its first complaint.
bool intact(sqlite3 *copy, std::string &error) {
    sqlite3_stmt *check = nullptr;
    std::vector<std::string> found;
    if (sqlite3_prepare_v2(copy, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK) {
        while (sqlite3_step(check) == SQLITE_ROW) {
            const unsigned char *text = sqlite3_column_text(check, 0);
            found.emplace_back(text == nullptr ? "" : reinterpret_cast<const char *>(text));
        }
    }
    if (sqlite3_finalize(check) != SQLITE_OK || found.empty()) {
        error = message(copy);
        return false;
    }
    if (found == std::vector<std::string>{"ok"})
        return true;
    error = found.front();
    if (found.size() > 1)
        error += " (and " + std::to_string(found.size() - 1) + " more)";
    return false;
}

} // namespace

int backup_sqlite(const std::string &database, const std::string &copy, std::string &error) {
    Database source = open_existing(database);
    if (sqlite3_errcode(source.get()) != SQLITE_OK) {
        error = "cannot open " + database + ": " + message(source.get());
        return receiver_failed;
    }
    // A backup never replaces a file: neither an earlier backup nor, given the wrong way round,
    // the database itself.
    const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot create " + copy + ": " + std::strerror(errno);
        return receiver_failed;
    }
    ::close(fd);
    std::string why;
    {
        Database target = open_existing(copy);
        if (sqlite3_errcode(target.get()) != SQLITE_OK)
            error = "cannot open " + copy + ": " + message(target.get());
        else if (!copy_pages(source.get(), target.get(), why))
            error = "cannot copy " + database + ": " + why;
        else if (!intact(target.get(), why))
            error = "the copy " + copy + " failed its integrity check: " + why;
        else
            return 0;
    }
    ::unlink(copy.c_str());
    return receiver_failed;
}
