#pragma once

#include "server/store/service_history.h"

#include <string>

// A service's raw reports for download.

// The reports as the listing of /reports shows them: {"reports":[before, after],"next":null}.
std::string service_reports_json(const ServiceRecord &service);

// One line per item of the first report: "item,antes,depois", then the report ids, times and
// senders, then every item in the order sent, each cell as csv_cell() writes it.
std::string service_reports_csv(const ServiceRecord &service);
