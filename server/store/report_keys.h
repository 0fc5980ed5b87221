#pragma once

#include "server/text/form_decoding.h"

#include <string>
#include <vector>

// The keys of a service report in the order the tool sends them, after the leading empty item:
// the customer, the cable, then the panel's and the drive's identity, events and parameters.
const std::vector<std::string> &report_keys();

// True when items are exactly a service report: the leading empty item, then every key of
// report_keys() once, in order. Anything else is not stored.
bool is_service_report(const FormItems &items);
