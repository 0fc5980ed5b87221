#pragma once

#include "server/text/form_decoding.h"

#include <string>
#include <vector>

enum class ChangeGroup { motorization, parameter, event, other };

struct ItemChange {
    ChangeGroup group;
    std::string item; // the report's key
    std::string before;
    std::string after;
};

// What a service changed: the items whose values differ between its two reports, the
// motorization first, then the parameters (drive, then panel), then the event counters (drive,
// then panel), then anything else, each group in the order the reports hold them. An item that
// only one report holds counts as changed, with "" for the other.
std::vector<ItemChange> service_difference(const FormItems &before, const FormItems &after);

// The items of a report whose keys start with prefix, in order: one device's event counters.
FormItems items_starting(const FormItems &items, const std::string &prefix);
