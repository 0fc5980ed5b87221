#include "server/store/report_store.h"

int ReportStore::record(const AuditEntry &entry) {
    return keep([&entry](SqlConnection &connection) { return append_audit(connection, entry); }) ==
                   0
               ? 0
               : store_write_failed;
}
