#pragma once

#include "server/text/failure.h"

#include <string>

// What the tool says of a report's run in its Veltora-Service header: the run's id (a lower-case
// UUID), the report's stage in it ("before", "after" or "interrupted") and when it was made (RFC
// 3339, UTC). All empty for a report without the header: an older tool, or another sender.
struct ServiceTag {
    std::string id;
    std::string stage;
    std::string made;
};

// Reads the header's value: exactly the three fields, each once, in any order, separated by ';'
// and spaces. An empty value is no header. 0 or receiver_failed.
int parse_service_header(const std::string &value, ServiceTag &tag);

// Whether stage closes a run: its "after", or the report of a run that stopped part way.
bool closes_run(const std::string &stage);
