#include "server/store/audit_trail.h"

#include "server/text/utc_time.h"

#include <cstdlib>

int append_audit(SqlConnection &connection, const AuditEntry &entry) {
    return connection.run("INSERT INTO audit (at, who, address, action, subject, result)"
                          " VALUES ($1, $2, $3, $4, $5, $6)",
                          {utc_iso8601(std::chrono::system_clock::now()), entry.who, entry.address,
                           entry.action, entry.subject, entry.result});
}

int make_audit_append_only(SqlConnection &connection) {
    if (connection.dialect() == SqlDialect::sqlite) {
        for (const char *change : {"UPDATE", "DELETE"}) {
            if (connection.run(std::string("CREATE TRIGGER audit_append_only_") + change +
                               " BEFORE " + change +
                               " ON audit BEGIN SELECT RAISE(ABORT, 'the audit is append-only');"
                               " END") != 0)
                return receiver_failed;
        }
        return 0;
    }
    if (connection.run("CREATE FUNCTION audit_append_only() RETURNS trigger LANGUAGE plpgsql AS"
                       " $$ BEGIN RAISE EXCEPTION 'the audit is append-only'; END $$") != 0 ||
        connection.run("CREATE TRIGGER audit_append_only BEFORE UPDATE OR DELETE ON audit"
                       " FOR EACH ROW EXECUTE FUNCTION audit_append_only()") != 0 ||
        connection.run("CREATE TRIGGER audit_not_truncated BEFORE TRUNCATE ON audit"
                       " FOR EACH STATEMENT EXECUTE FUNCTION audit_append_only()") != 0)
        return receiver_failed;
    return 0;
}

int read_audit(SqlConnection &connection, const AuditFilter &filter,
               std::vector<AuditRecord> &records) {
    // A LIKE pattern that finds the text itself, its wildcards taken literally.
    std::string pattern = "%";
    for (const char c : filter.subject) {
        if (c == '%' || c == '_' || c == '\\')
            pattern.push_back('\\');
        pattern.push_back(c);
    }
    pattern.push_back('%');
    SqlRows rows;
    if (connection.run("SELECT id, at, who, address, action, subject, result FROM audit"
                       " WHERE id < $1 AND LOWER(subject) LIKE LOWER($2) ESCAPE '\\'"
                       " AND ($3 = '' OR who = $3) AND SUBSTR(at, 1, 10) >= $4"
                       " AND SUBSTR(at, 1, 10) <= $5 ORDER BY id DESC LIMIT $6",
                       {filter.before > 0 ? filter.before : (1LL << 62), pattern, filter.who,
                        filter.from.empty() ? "0000-00-00" : filter.from,
                        filter.to.empty() ? "9999-99-99" : filter.to, filter.limit},
                       &rows) != 0)
        return receiver_failed;
    for (SqlRow &row : rows)
        records.push_back({std::strtoll(row[0].c_str(), nullptr, 10),
                           std::move(row[1]),
                           {std::move(row[2]), std::move(row[3]), std::move(row[4]),
                            std::move(row[5]), std::move(row[6])}});
    return 0;
}
