#pragma once

#include "server/store/sql_connection.h"

#include <string>
#include <vector>

// One act on the stored personal data, as the audit keeps it: never a password, nor the data the
// act read or erased. For a search, subject holds the query, since the query is what was looked
// for.
struct AuditEntry {
    std::string who;     // a user's name, or "token" for the machines' shared token
    std::string address; // where the request came from
    std::string action;  // what was done: a chair read, a search, a sign-in, an erasure...
    std::string subject; // what it was done to: a serial, a service, a query; "" for none
    std::string result;  // how it ended: "ok", "recusado", a count...
};

// Appends entry, stamped with the current UTC time. 0 or receiver_failed.
int append_audit(SqlConnection &connection, const AuditEntry &entry);

// Makes the audit table refuse every change but an insert. 0 or receiver_failed.
int make_audit_append_only(SqlConnection &connection);

// Which entries to read, newest first: those whose subject holds subject (case aside for ASCII),
// of who, on the days from to to ("YYYY-MM-DD"; each "" for any), with an id below before (0:
// from the newest), at most limit.
struct AuditFilter {
    std::string subject;
    std::string who;
    std::string from;
    std::string to;
    long long before = 0;
    long long limit = 100;
};

struct AuditRecord {
    long long id = 0;
    std::string at; // UTC, ISO-8601
    AuditEntry entry;
};

// 0 or receiver_failed.
int read_audit(SqlConnection &connection, const AuditFilter &filter,
               std::vector<AuditRecord> &records);
