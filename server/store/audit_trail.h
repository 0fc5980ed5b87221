#pragma once

#include "server/store/sql_connection.h"

#include <string>

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
