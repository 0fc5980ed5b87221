#pragma once

#include "server/store/sql_connection.h"

#include <string>

// The schema version this receiver writes; recorded in the table schema_version.
int current_schema_version();

// Creates the schema, or upgrades an older one step by step, all in one transaction that holds
// the write lock, so receivers starting together on one database upgrade it once.
// 0 or receiver_failed, with error saying which step failed.
int upgrade_schema(SqlConnection &connection, std::string &error);
