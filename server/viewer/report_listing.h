#pragma once

#include "server/store/report_store.h"

#include <string>
#include <vector>

// One page of the listing as JSON, reports in the given order; next is the cursor for the
// following page (the "before" of the next request), 0 when this page is the last:
// {"reports":[{"id":1,"received":"...","client":"...","items":[["key","value"],...]},...],
//  "next":17}  (or "next":null)
std::string reports_page_json(const std::vector<StoredReport> &reports, long long next);
