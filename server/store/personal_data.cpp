#include "server/store/personal_data.h"

#include "server/store/text_keys.h"
#include "server/text/utc_time.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

namespace {

// Reports anonymized in one transaction by the retention, so that posts never wait long for it.
constexpr long long retention_batch = 500;

long long number_of(const std::string &text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

// Marks the reports that selection (a query of report ids, whose parameters are params) gives and
// that hold personal data still, and anonymizes them, within the open transaction. Every
// statement after the mark finds the reports by it. Their ids, ascending, into ids.
int anonymize_selected(SqlConnection &connection, const std::string &selection,
                       std::vector<SqlValue> params, std::vector<long long> &ids) {
    // The time marks this transaction's reports; another's of the same millisecond would only be
    // anonymized twice, to the same values.
    const std::string mark = utc_iso8601(std::chrono::system_clock::now());
    params.emplace_back(mark);
    SqlRows marked;
    if (connection.run("UPDATE reports SET anonymized = $" + std::to_string(params.size()) +
                           " WHERE anonymized IS NULL AND id IN (" + selection + ") RETURNING id",
                       params, &marked) != 0)
        return receiver_failed;
    ids.clear();
    for (const SqlRow &row : marked)
        ids.push_back(number_of(row[0]));
    std::sort(ids.begin(), ids.end());
    const std::string chosen = " IN (SELECT id FROM reports WHERE anonymized = $1)";
    return connection.run_all(
        {{"UPDATE report_items SET value = $2 WHERE key IN ('nome', 'email', 'telefone', 'cep',"
          " 'cpf', 'cnpj') AND report_id" +
              chosen,
          {mark, anonymized_text}},
         {"UPDATE report_facts SET customer = $2, taxpayer = $2, customer_key = $3,"
          " taxpayer_key = $4 WHERE report_id" +
              chosen,
          {mark, anonymized_text, name_key(anonymized_text), taxpayer_key(anonymized_text)}},
         {"DELETE FROM customer_words WHERE report_id" + chosen, {mark}},
         {"INSERT INTO customer_words (word, serial, report_id) SELECT CAST($2 AS TEXT), serial,"
          " report_id FROM report_facts WHERE report_id" +
              chosen,
          {mark, name_key(anonymized_text)}},
         {"DELETE FROM personal_keys WHERE report_id" + chosen, {mark}}});
}

// Copies every committed page into the database file and empties the WAL, so the bytes an
// erasure replaced leave both: secure_delete has zeroed them in the pages written since.
int empty_wal(SqlConnection &connection) {
    if (connection.dialect() != SqlDialect::sqlite)
        return 0;
    SqlRows done;
    return connection.run("PRAGMA wal_checkpoint(TRUNCATE)", {}, &done) == 0 && !done.empty() &&
                   done[0][0] == "0"
               ? 0
               : receiver_failed;
}

} // namespace

std::string personal_key(std::string_view text) {
    if (text.find('@') == std::string_view::npos)
        return taxpayer_key(text);
    const std::size_t first = text.find_first_not_of(" \t");
    std::string key(text.substr(first, text.find_last_not_of(" \t") + 1 - first));
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

void add_personal_keys(long long id, const FormItems &items,
                       std::vector<SqlStatement> &statements) {
    std::set<std::string> keys;
    for (const auto &[name, value] : items) {
        if (name == "cpf" || name == "cnpj" || name == "email")
            keys.insert(personal_key(value));
    }
    keys.erase("");
    if (keys.empty())
        return;
    SqlStatement insert{"INSERT INTO personal_keys (key, report_id) VALUES ", {id}};
    for (const std::string &key : keys) {
        insert.params.emplace_back(key);
        insert.sql += insert.params.size() == 2 ? "($" : ",($";
        insert.sql += std::to_string(insert.params.size()) + ",$1)";
    }
    statements.push_back(std::move(insert));
}

int backfill_personal_keys(SqlConnection &connection) {
    SqlRows rows;
    if (connection.run("SELECT report_id, key, value FROM report_items"
                       " WHERE key IN ('cpf', 'cnpj', 'email') ORDER BY report_id",
                       {}, &rows) != 0)
        return receiver_failed;
    std::map<long long, FormItems> items;
    for (SqlRow &row : rows)
        items[number_of(row[0])].emplace_back(std::move(row[1]), std::move(row[2]));
    std::vector<SqlStatement> statements;
    for (const auto &[id, report] : items)
        add_personal_keys(id, report, statements);
    return connection.run_all(statements);
}

int find_personal(SqlConnection &connection, const std::string &key,
                  std::vector<StoredReport> &reports) {
    const std::string chosen = " IN (SELECT report_id FROM personal_keys WHERE key = $1)";
    SqlRows heads;
    SqlRows items;
    // One transaction, so the reports and their items are of the same moment.
    if (connection.run("BEGIN") != 0 ||
        connection.run_all(
            {{"SELECT id, received, client FROM reports WHERE id" + chosen + " ORDER BY id",
              {key},
              &heads},
             {"SELECT report_id, key, value FROM report_items WHERE report_id" + chosen +
                  " ORDER BY report_id, position",
              {key},
              &items},
             {"COMMIT", {}}}) != 0)
        return receiver_failed;
    reports.clear();
    std::map<long long, std::size_t> index_of;
    for (const SqlRow &head : heads) {
        index_of[number_of(head[0])] = reports.size();
        reports.push_back({number_of(head[0]), head[1], head[2], {}});
    }
    for (SqlRow &item : items)
        reports[index_of[number_of(item[0])]].items.emplace_back(std::move(item[1]),
                                                                 std::move(item[2]));
    return 0;
}

long long anonymize_person(SqlConnection &connection, const std::string &key, long long confirmed,
                           AuditEntry entry) {
    std::vector<long long> ids;
    if (connection.begin_write() != 0 ||
        anonymize_selected(connection, "SELECT report_id FROM personal_keys WHERE key = $1", {key},
                           ids) != 0)
        return receiver_failed;
    const auto count = static_cast<long long>(ids.size());
    if (count != confirmed)
        return personal_count_changed; // keep() rolls the transaction back
    entry.subject.clear();
    for (const long long id : ids)
        entry.subject += (entry.subject.empty() ? "" : ",") + std::to_string(id);
    entry.result = std::to_string(count);
    if (append_audit(connection, entry) != 0 || connection.run("COMMIT") != 0 ||
        empty_wal(connection) != 0)
        return receiver_failed;
    return count;
}

long long anonymize_received_before(SqlConnection &connection, const std::string &before,
                                    AuditEntry entry) {
    long long total = 0;
    for (;;) {
        std::vector<long long> ids;
        if (connection.begin_write() != 0 ||
            anonymize_selected(connection,
                               "SELECT id FROM reports WHERE received < $1 AND anonymized IS NULL"
                               " ORDER BY id LIMIT $2",
                               {before, retention_batch}, ids) != 0)
            return receiver_failed;
        if (ids.empty())
            return connection.run("COMMIT") == 0 && empty_wal(connection) == 0 ? total
                                                                               : receiver_failed;
        entry.subject = "recebidos antes de " + before;
        entry.result = std::to_string(ids.size());
        if (append_audit(connection, entry) != 0 || connection.run("COMMIT") != 0)
            return receiver_failed;
        total += static_cast<long long>(ids.size());
    }
}
