#pragma once

#include "server/form_decoding.h"

#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

constexpr int store_open_failed = -1;
constexpr int store_write_failed = -2;
constexpr int store_read_failed = -3;

struct StoredReport {
    long long id = 0;
    std::string received; // UTC, ISO-8601
    std::string client;   // address of the sender
    FormItems items;      // in the order they were sent
};

// The reports received, in one SQLite file. Every call is serialised on one connection, so
// concurrent senders never see each other's half-written report.
class ReportStore {
public:
    ReportStore() = default;
    ~ReportStore();
    ReportStore(const ReportStore &) = delete;
    ReportStore &operator=(const ReportStore &) = delete;

    // Opens the database file, creating it and its tables when missing. 0 or store_open_failed.
    int open(const std::string &path);

    // Stores one report with all its items in one transaction. Its id (1 or more) once committed,
    // or store_write_failed with nothing stored.
    long long add(const std::string &received, const std::string &client, const FormItems &items);

    // Every stored report, newest first. 0 or store_read_failed.
    int list(std::vector<StoredReport> &reports);

private:
    bool execute(const char *sql);
    long long insert_report(const std::string &received, const std::string &client,
                            const FormItems &items);
    int read_items(std::vector<StoredReport> &reports);

    std::mutex mutex_;
    sqlite3 *db_ = nullptr;
};
