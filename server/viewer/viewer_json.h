#pragma once

#include "server/store/service_history.h"
#include "server/viewer/service_difference.h"

#include <string>
#include <vector>

// The viewer's answers as JSON. Each page has "next": the cursor of the following page, or null
// when it is the last.

// {"chairs":[{"serial","last_service","customer","taxpayer","motorization","services"}],"next"}
std::string chairs_page_json(const std::vector<ChairSummary> &chairs, long long next);

// {"serial","services":[{"id","received","client","customer","taxpayer","motorization",
//  "drive_events","stage","made","after":{the same fields}|null}],"next"}: "stage" is the
// report's in its run, null when it names none; "made" when it was made, only when that is over
// a minute from "received".
std::string services_page_json(const std::string &serial,
                               const std::vector<ServiceSummary> &services, long long next);

// {"id","serial","before":{head},"after":{head}|null,
//  "changes":[{"group","item","before","after"}] (from offset, at most limit),
//  "events":{"painel":[[key,value],...],"drive":[...]} (before the service),"next"}
std::string service_json(const ServiceRecord &service, const std::vector<ItemChange> &changes,
                         std::size_t offset, std::size_t limit);
