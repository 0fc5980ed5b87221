#include "server/store/sql_report_store.h"

#include "server/store/report_facts.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace {

// Reports committed in one transaction at most; the rest wait for the next.
constexpr std::size_t largest_batch = 64;

// All items of a report in one statement: one round trip whatever the database.
std::string items_insert_sql(std::size_t count) {
    std::string sql = "INSERT INTO report_items (report_id, position, key, value) VALUES ";
    for (std::size_t i = 0; i < count; ++i) {
        sql += i == 0 ? "(" : ",(";
        sql += "$1," + std::to_string(i) + ",$" + std::to_string(2 * i + 2) + ",$" +
               std::to_string(2 * i + 3) + ")";
    }
    return sql;
}

long long as_number(const std::string &text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

} // namespace

std::string &SqlReportStore::failed_because() {
    thread_local std::string cause;
    return cause;
}

std::string SqlReportStore::failure() const {
    return failed_because();
}

SqlReportStore::SqlReportStore(std::unique_ptr<SqlConnection> writer,
                               std::unique_ptr<SqlConnection> reader)
    : writer_(std::move(writer)), reader_(std::move(reader)) {}

long long SqlReportStore::add(const std::string &received, const std::string &client,
                              const FormItems &items) {
    Pending mine{received, client, items};
    std::unique_lock<std::mutex> lock(queue_mutex_);
    queue_.push_back(&mine);
    while (!mine.done) {
        if (writing_) {
            written_.wait(lock);
            continue;
        }
        // No commit under way, and this report still waits: write everything queued so far.
        writing_ = true;
        const std::size_t count = std::min(queue_.size(), largest_batch);
        const std::vector<Pending *> batch(queue_.begin(), queue_.begin() + count);
        queue_.erase(queue_.begin(), queue_.begin() + count);
        lock.unlock();
        write(batch);
        lock.lock();
        for (Pending *pending : batch)
            pending->done = true;
        writing_ = false;
        written_.notify_all();
    }
    if (mine.id < 0)
        failed_because() = mine.cause;
    return mine.id;
}

void SqlReportStore::write(const std::vector<Pending *> &batch) {
    const auto fail = [&] {
        for (Pending *pending : batch)
            pending->cause = writer_->last_error();
    };
    if (writer_->begin_write() != 0)
        return fail();
    std::vector<long long> ids;
    for (const Pending *pending : batch) {
        ids.push_back(insert(pending->received, pending->client, pending->items));
        if (ids.back() < 0) {
            fail();
            writer_->run("ROLLBACK");
            return;
        }
    }
    if (writer_->run("COMMIT") != 0) {
        // Whether it reached the disk is unknown: none of them is acknowledged.
        fail();
        writer_->run("ROLLBACK");
        return;
    }
    for (std::size_t i = 0; i < batch.size(); ++i)
        batch[i]->id = ids[i];
}

long long SqlReportStore::insert(const std::string &received, const std::string &client,
                                 const FormItems &items) {
    SqlRows rows;
    if (writer_->run("INSERT INTO reports (received, client) VALUES ($1, $2) RETURNING id",
                     {received, client}, &rows) != 0 ||
        rows.size() != 1)
        return store_write_failed;
    const long long id = as_number(rows[0][0]);
    std::vector<SqlValue> params{id};
    params.reserve(1 + 2 * items.size());
    for (const auto &[key, value] : items) {
        params.emplace_back(key);
        params.emplace_back(value);
    }
    if (!items.empty() && writer_->run(items_insert_sql(items.size()), params) != 0)
        return store_write_failed;
    return record_facts(*writer_, id, received, client, items) == 0 ? id : store_write_failed;
}

int SqlReportStore::page(const ReportPageRequest &request, std::vector<StoredReport> &reports) {
    std::lock_guard<std::mutex> lock(read_mutex_);
    // One transaction, so the heads and the items are of the same moment.
    if (reader_->run("BEGIN") != 0) {
        failed_because() = reader_->last_error();
        return store_read_failed;
    }
    std::vector<StoredReport> found;
    const int result = read_page(request, found);
    if (result != 0)
        failed_because() = reader_->last_error();
    reader_->run("COMMIT");
    if (result == 0)
        reports = std::move(found);
    return result;
}

int SqlReportStore::read_page(const ReportPageRequest &request,
                              std::vector<StoredReport> &reports) {
    SqlRows heads;
    const long long before = request.before > 0 ? request.before : (1LL << 62);
    if (reader_->run("SELECT id, received, client FROM reports WHERE id < $1"
                     " ORDER BY id DESC LIMIT $2",
                     {before, static_cast<long long>(request.limit)}, &heads) != 0)
        return store_read_failed;
    if (heads.empty())
        return 0;
    std::map<long long, std::size_t> index_of;
    for (const SqlRow &head : heads) {
        StoredReport report;
        report.id = as_number(head[0]);
        report.received = head[1];
        report.client = head[2];
        index_of[report.id] = reports.size();
        reports.push_back(std::move(report));
    }
    SqlRows items;
    if (reader_->run("SELECT report_id, key, value FROM report_items"
                     " WHERE report_id >= $1 AND report_id <= $2 ORDER BY report_id, position",
                     {reports.back().id, reports.front().id}, &items) != 0)
        return store_read_failed;
    for (SqlRow &item : items) {
        const auto found = index_of.find(as_number(item[0]));
        if (found != index_of.end())
            reports[found->second].items.emplace_back(std::move(item[1]), std::move(item[2]));
    }
    return 0;
}
