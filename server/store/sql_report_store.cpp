#include "server/store/sql_report_store.h"

#include "server/store/personal_data.h"
#include "server/store/report_facts.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <tuple>

namespace {

// Reports committed in one transaction at most; the rest wait for the next.
constexpr std::size_t largest_batch = 64;

// The first key of PostgreSQL's advisory locks on runs, apart from the schema's.
constexpr long long run_locks = 7432;

// All items of a report in one statement: SQLite, which has no arrays.
void add_items(long long id, const FormItems &items, std::vector<SqlStatement> &statements) {
    if (items.empty())
        return;
    SqlStatement insert{"INSERT INTO report_items (report_id, position, key, value) VALUES ", {id}};
    insert.params.reserve(1 + 2 * items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        insert.sql += i == 0 ? "(" : ",(";
        insert.sql += "$1," + std::to_string(i) + ",$" + std::to_string(2 * i + 2) + ",$" +
                      std::to_string(2 * i + 3) + ")";
        insert.params.emplace_back(items[i].first);
        insert.params.emplace_back(items[i].second);
    }
    statements.push_back(std::move(insert));
}

// text as an element of a PostgreSQL array literal: quoted, its quotes and backslashes escaped.
void append_element(std::string &array, const std::string &text) {
    array += array.size() > 1 ? ",\"" : "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            array.push_back('\\');
        array.push_back(c);
    }
    array.push_back('"');
}

// All items of a batch's reports in one statement, as four arrays: PostgreSQL parses and checks
// one insert a batch, where it would take one a report.
void add_items_together(const std::vector<NewReport> &reports,
                        std::vector<SqlStatement> &statements) {
    std::string ids = "{";
    std::string positions = "{";
    std::string keys = "{";
    std::string values = "{";
    for (const NewReport &report : reports) {
        for (std::size_t i = 0; i < report.items.size(); ++i) {
            ids += (ids.size() > 1 ? "," : "") + std::to_string(report.id);
            positions += (positions.size() > 1 ? "," : "") + std::to_string(i);
            append_element(keys, report.items[i].first);
            append_element(values, report.items[i].second);
        }
    }
    if (ids.size() > 1)
        statements.push_back({"INSERT INTO report_items (report_id, position, key, value) SELECT *"
                              " FROM unnest($1::bigint[], $2::int[], $3::text[], $4::text[])",
                              {ids + "}", positions + "}", keys + "}", values + "}"}});
}

long long as_number(const std::string &text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

// What takes ids for count new reports, ascending, inside the write transaction, so that every
// statement storing them can be sent before any answer comes back; ids_of reads its rows.
SqlStatement reserving_ids(SqlDialect dialect, std::size_t count, SqlRows &rows) {
    // PostgreSQL: the identity's own sequence, which never gives another receiver the same.
    // SQLite: AUTOINCREMENT's record of the last id given; the write lock makes the next ones ours.
    if (dialect == SqlDialect::postgresql)
        return {"SELECT nextval(pg_get_serial_sequence('reports', 'id'))"
                " FROM generate_series(1, $1)",
                {static_cast<long long>(count)},
                &rows};
    return {"SELECT COALESCE(MAX(seq), 0) FROM sqlite_sequence WHERE name = 'reports'", {}, &rows};
}

int ids_of(SqlDialect dialect, std::size_t count, const SqlRows &rows,
           std::vector<long long> &ids) {
    if (dialect == SqlDialect::postgresql) {
        for (const SqlRow &row : rows)
            ids.push_back(as_number(row[0]));
        std::sort(ids.begin(), ids.end());
    } else if (rows.size() == 1) {
        for (long long id = as_number(rows[0][0]) + 1; ids.size() < count; ++id)
            ids.push_back(id);
    }
    return ids.size() == count ? 0 : receiver_failed;
}

} // namespace

// Adds what inserts the batch's reports themselves: stored[i] gets a row when batch[i]
// is new, none when its run's report of that stage is stored already, by this batch or another.
// A writer whose insert meets another's uncommitted one waits for it; so, to wait never in a
// cycle, every writer inserts runs' reports in the same order. On PostgreSQL, a run's reports
// are also stored one writer at a time, so a run's "after" committing meanwhile is never missed
// by its "before" looking for its service, nor the other way round.
void SqlReportStore::add_heads(SqlDialect dialect, const std::vector<Pending *> &batch,
                               const std::vector<long long> &ids, std::vector<SqlRows> &stored,
                               std::vector<SqlStatement> &statements) {
    std::vector<std::size_t> order(batch.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&batch](std::size_t a, std::size_t b) {
        return std::tie(batch[a]->tag.id, batch[a]->tag.stage) <
               std::tie(batch[b]->tag.id, batch[b]->tag.stage);
    });
    for (std::size_t i = 0; dialect == SqlDialect::postgresql && i < order.size(); ++i) {
        const std::string &run = batch[order[i]]->tag.id;
        if (!run.empty() && (i == 0 || batch[order[i - 1]]->tag.id != run))
            statements.push_back(
                {"SELECT pg_advisory_xact_lock($1::int, hashtext($2))", {run_locks, run}});
    }
    for (const std::size_t i : order) {
        const Pending &pending = *batch[i];
        statements.push_back({"INSERT INTO reports (id, received, client, service, stage, made)"
                              " VALUES ($1, $2, $3, NULLIF($4, ''), NULLIF($5, ''), NULLIF($6, ''))"
                              " ON CONFLICT (service, stage) DO NOTHING RETURNING id",
                              {ids[i], pending.received, pending.client, pending.tag.id,
                               pending.tag.stage, pending.tag.made},
                              &stored[i]});
    }
}

std::string &SqlReportStore::failed_because() {
    thread_local std::string cause;
    return cause;
}

std::string SqlReportStore::failure() const {
    return failed_because();
}

SqlReportStore::SqlReportStore(std::vector<std::unique_ptr<SqlConnection>> writers,
                               std::unique_ptr<SqlConnection> reader,
                               std::unique_ptr<SqlConnection> pinger,
                               std::unique_ptr<SqlConnection> keeper)
    : reader_(std::move(reader)), pinger_(std::move(pinger)), keeper_(std::move(keeper)) {
    for (auto &writer : writers)
        idle_writers_.push_back({static_cast<int>(idle_writers_.size()), std::move(writer)});
}

int SqlReportStore::keep(const std::function<int(SqlConnection &)> &work) {
    std::lock_guard<std::mutex> lock(keeper_mutex_);
    // A connection the database dropped (a restart) fails its next statement and connects anew
    // at the one after: work that fails so goes once more, at worst writing a record twice, never
    // losing it.
    int result = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        result = work(*keeper_);
        if (result >= 0)
            break;
        failed_because() = keeper_->last_error();
        // Its cause noted, what work left of a transaction is undone.
        if (keeper_->in_transaction())
            keeper_->run("ROLLBACK");
        if (result != receiver_failed)
            break;
    }
    return result;
}

long long SqlReportStore::add(const std::string &received, const std::string &client,
                              const ServiceTag &tag, const FormItems &items) {
    Pending mine{received, client, tag, items};
    std::unique_lock<std::mutex> lock(queue_mutex_);
    queue_.push_back(&mine);
    while (!mine.done) {
        // Every writer busy, or this report already in a batch on its way: wait for a commit.
        if (idle_writers_.empty() || queue_.empty()) {
            written_.wait(lock);
            continue;
        }
        Writer writer = std::move(idle_writers_.back());
        idle_writers_.pop_back();
        const std::size_t count = std::min(queue_.size(), largest_batch);
        const std::vector<Pending *> batch(queue_.begin(), queue_.begin() + count);
        queue_.erase(queue_.begin(), queue_.begin() + count);
        lock.unlock();
        write(*writer.connection, writer.part, batch);
        lock.lock();
        idle_writers_.push_back(std::move(writer));
        for (Pending *pending : batch)
            pending->done = true;
        written_.notify_all();
    }
    if (mine.id < 0)
        failed_because() = mine.cause;
    return mine.id;
}

void SqlReportStore::write(SqlConnection &writer, int part, const std::vector<Pending *> &batch) {
    // Every report of a batch that fails is refused for the same cause, its transaction undone.
    const auto fail = [&] {
        ++statistics_.errors;
        for (Pending *pending : batch)
            pending->cause = writer.last_error();
        if (writer.in_transaction())
            writer.run("ROLLBACK");
    };
    // Three round trips: the ids; the heads with what the facts read of earlier reports; the rest
    // with the commit.
    SqlRows reserved;
    std::vector<long long> ids;
    if (writer.begin_write({reserving_ids(writer.dialect(), batch.size(), reserved)}) != 0 ||
        ids_of(writer.dialect(), batch.size(), reserved, ids) != 0)
        return fail();
    std::vector<NewReport> candidates;
    for (std::size_t i = 0; i < batch.size(); ++i)
        candidates.push_back(
            {ids[i], batch[i]->received, batch[i]->client, batch[i]->tag, batch[i]->items});
    std::vector<SqlRows> stored(batch.size());
    std::vector<SqlStatement> statements;
    add_heads(writer.dialect(), batch, ids, stored, statements);
    StoredBefore before;
    look_before(candidates, before, statements);
    if (writer.run_all(statements) != 0)
        return fail();
    statements.clear();
    std::vector<NewReport> reports;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (stored[i].empty())
            continue; // its run's report of that stage is stored already: nothing more of it
        reports.push_back(candidates[i]);
        if (writer.dialect() == SqlDialect::sqlite)
            add_items(ids[i], batch[i]->items, statements);
        add_personal_keys(ids[i], batch[i]->items, statements);
    }
    if (writer.dialect() == SqlDialect::postgresql)
        add_items_together(reports, statements);
    add_facts(reports, before, statements, FleetRecording::record, part);
    statements.push_back({"COMMIT", {}});
    // Whether a failed COMMIT reached the disk is unknown: none of them is acknowledged.
    if (writer.run_all(statements) != 0)
        return fail();
    for (std::size_t i = 0; i < batch.size(); ++i)
        batch[i]->id = stored[i].empty() ? report_already_stored : ids[i];
    statistics_.batch_sizes.observe(batch.size());
}

int SqlReportStore::page(const ReportPageRequest &request, std::vector<StoredReport> &reports) {
    std::lock_guard<std::mutex> lock(read_mutex_);
    // One transaction, so the heads and the items are of the same moment.
    if (reader_->run("BEGIN") != 0) {
        ++statistics_.errors;
        failed_because() = reader_->last_error();
        return store_read_failed;
    }
    std::vector<StoredReport> found;
    const int result = read_page(request, found);
    if (result != 0) {
        ++statistics_.errors;
        failed_because() = reader_->last_error();
    }
    reader_->run("COMMIT");
    if (result == 0)
        reports = std::move(found);
    return result;
}

int SqlReportStore::answers_within(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // One ping at a time; one that waits for another takes what is left of its time.
    std::unique_lock<std::timed_mutex> lock(ping_mutex_, deadline);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (!lock.owns_lock() || left.count() <= 0) {
        failed_because() = "the check before this one took all the time allowed";
        return store_read_failed;
    }
    if (pinger_->ping(left) != 0) {
        failed_because() = pinger_->last_error();
        return store_read_failed;
    }
    return 0;
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
