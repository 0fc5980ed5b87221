#pragma once

#include "server/store/report_store.h"
#include "server/store/sql_connection.h"

#include <string>

// Runs query in one read transaction, so everything it reads is of the same moment. A failure's
// message goes to failure.
template <typename Query>
int read_consistently(SqlConnection &reader, std::string &failure, Query query) {
    if (reader.run("BEGIN") != 0) {
        failure = reader.last_error();
        return store_read_failed;
    }
    const int result = query();
    if (result != 0 && result != history_not_found)
        failure = reader.last_error();
    reader.run("COMMIT");
    return result;
}
