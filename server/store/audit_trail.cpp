#include "server/store/audit_trail.h"

#include "server/text/utc_time.h"

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
