#pragma once

#include "server/report_store.h"

#include <string>
#include <vector>

// The reports as a JSON array, in the given order:
// [{"id":1,"received":"...","client":"...","items":[["key","value"],...]},...]
std::string reports_json(const std::vector<StoredReport> &reports);
