// The service history over the store's SQL tables; one text for SQLite and PostgreSQL alike.
#include "server/store/chair_search.h"
#include "server/store/read_consistently.h"
#include "server/store/sql_report_store.h"

#include <cstdlib>

namespace {

constexpr long long no_cursor = 1LL << 62;

// A search matching this many chairs and reports is walked, not gathered.
constexpr long long broad_search = 2000;

long long number_of(const std::string &text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

void read_head(const SqlRow &row, std::size_t first, ReportHead &head) {
    head.id = number_of(row[first]);
    head.received = row[first + 1];
    head.client = row[first + 2];
    head.customer = row[first + 3];
    head.taxpayer = row[first + 4];
    head.motorization = row[first + 5];
    head.drive_events = number_of(row[first + 6]);
    head.stage = row[first + 7];
    head.made = row[first + 8];
}

constexpr std::size_t head_columns = 9;

} // namespace

int SqlReportStore::chairs(const ChairPageRequest &request, std::vector<ChairSummary> &chairs) {
    const ChairSearch search(request.search);
    SqlRows rows;
    std::lock_guard<std::mutex> lock(read_mutex_);
    const int result = read_consistently(*reader_, failed_because(), [&] {
        bool broad = false;
        if (!search.empty()) {
            std::vector<SqlValue> params;
            SqlRows count;
            if (reader_->run(search.count_sql(broad_search, params), params, &count) != 0 ||
                count.size() != 1)
                return store_read_failed;
            broad = number_of(count[0][0]) >= broad_search;
        }
        std::vector<SqlValue> params{request.before > 0 ? request.before : no_cursor,
                                     static_cast<long long>(request.limit)};
        const std::string condition = search.empty() ? "" : search.condition(broad, params);
        return reader_->run(
            "SELECT c.serial, c.last_report_id, c.services, f.received, f.customer, f.taxpayer,"
            " f.motorization FROM chairs c JOIN report_facts f ON f.report_id = c.last_report_id"
            " WHERE c.last_report_id < $1" +
                (condition.empty() ? std::string() : " AND (" + condition + ")") +
                " ORDER BY c.last_report_id DESC LIMIT $2",
            params, &rows);
    });
    if (result != 0) {
        ++statistics_.errors;
        return store_read_failed;
    }
    chairs.clear();
    for (const SqlRow &row : rows)
        chairs.push_back(
            {row[0], number_of(row[1]), number_of(row[2]), row[3], row[4], row[5], row[6]});
    return 0;
}

int SqlReportStore::services(const ServicePageRequest &request,
                             std::vector<ServiceSummary> &services) {
    const std::string sql =
        "SELECT b.report_id, b.received, b.client, b.customer, b.taxpayer, b.motorization,"
        " b.drive_events, rb.stage, rb.made, a.report_id, a.received, a.client, a.customer,"
        " a.taxpayer, a.motorization, a.drive_events, ra.stage, ra.made FROM report_facts b"
        " JOIN reports rb ON rb.id = b.report_id LEFT JOIN report_facts a"
        " ON a.service_id = b.report_id AND a.report_id <> b.report_id"
        " LEFT JOIN reports ra ON ra.id = a.report_id"
        " WHERE b.serial = $1 AND b.service_id = b.report_id AND b.report_id < $2"
        " ORDER BY b.report_id DESC LIMIT $3";
    SqlRows rows;
    std::lock_guard<std::mutex> lock(read_mutex_);
    if (read_consistently(*reader_, failed_because(), [&] {
            return reader_->run(sql,
                                {request.serial, request.before > 0 ? request.before : no_cursor,
                                 static_cast<long long>(request.limit)},
                                &rows);
        }) != 0) {
        ++statistics_.errors;
        return store_read_failed;
    }
    services.clear();
    for (const SqlRow &row : rows) {
        ServiceSummary service;
        read_head(row, 0, service.before);
        service.paired = !row[head_columns].empty();
        if (service.paired)
            read_head(row, head_columns, service.after);
        services.push_back(std::move(service));
    }
    return 0;
}

int SqlReportStore::service(long long id, ServiceRecord &service) {
    SqlRows heads;
    SqlRows items;
    std::lock_guard<std::mutex> lock(read_mutex_);
    const int result = read_consistently(*reader_, failed_because(), [&] {
        if (reader_->run("SELECT f.report_id, f.received, f.client, f.customer, f.taxpayer,"
                         " f.motorization, f.drive_events, r.stage, r.made, f.serial"
                         " FROM report_facts f JOIN reports r ON r.id = f.report_id"
                         " WHERE f.service_id ="
                         " (SELECT service_id FROM report_facts WHERE report_id = $1)"
                         " ORDER BY f.report_id",
                         {id}, &heads) != 0)
            return store_read_failed;
        if (heads.empty())
            return history_not_found;
        return reader_->run("SELECT report_id, key, value FROM report_items"
                            " WHERE report_id IN ($1, $2) ORDER BY report_id, position",
                            {number_of(heads.front()[0]), number_of(heads.back()[0])}, &items);
    });
    if (result != 0) {
        statistics_.errors += result == history_not_found ? 0 : 1;
        return result == history_not_found ? result : store_read_failed;
    }
    service = ServiceRecord();
    service.serial = heads.front()[head_columns];
    read_head(heads.front(), 0, service.before);
    service.paired = heads.size() > 1;
    if (service.paired)
        read_head(heads.back(), 0, service.after);
    for (SqlRow &item : items) {
        FormItems &into =
            number_of(item[0]) == service.before.id ? service.before_items : service.after_items;
        into.emplace_back(std::move(item[1]), std::move(item[2]));
    }
    return 0;
}
