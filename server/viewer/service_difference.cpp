#include "server/viewer/service_difference.h"

#include <algorithm>
#include <map>

namespace {

bool starts(const std::string &text, const char *prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Where an item's change is listed: its group, then its device.
int rank_of(const std::string &key) {
    if (key == "drive_motorizacao")
        return 0;
    if (starts(key, "drive_param_"))
        return 1;
    if (starts(key, "painel_param_"))
        return 2;
    if (starts(key, "drive_event_"))
        return 3;
    if (starts(key, "painel_event_"))
        return 4;
    return 5;
}

ChangeGroup group_of(int rank) {
    static const ChangeGroup groups[] = {ChangeGroup::motorization, ChangeGroup::parameter,
                                         ChangeGroup::parameter,    ChangeGroup::event,
                                         ChangeGroup::event,        ChangeGroup::other};
    return groups[rank];
}

} // namespace

std::vector<ItemChange> service_difference(const FormItems &before, const FormItems &after) {
    std::map<std::string, std::string> old_values(before.begin(), before.end());
    std::map<std::string, std::string> new_values(after.begin(), after.end());
    std::vector<std::pair<int, ItemChange>> changes;
    const auto note = [&changes](const std::string &key, const std::string &old_value,
                                 const std::string &new_value) {
        if (old_value != new_value) {
            const int rank = rank_of(key);
            changes.push_back({rank, {group_of(rank), key, old_value, new_value}});
        }
    };
    for (const auto &[key, value] : before)
        note(key, value, new_values.count(key) != 0 ? new_values[key] : std::string());
    for (const auto &[key, value] : after) {
        if (old_values.count(key) == 0)
            note(key, std::string(), value);
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<ItemChange> ordered;
    ordered.reserve(changes.size());
    for (auto &change : changes)
        ordered.push_back(std::move(change.second));
    return ordered;
}

FormItems items_starting(const FormItems &items, const std::string &prefix) {
    FormItems found;
    for (const FormItem &item : items) {
        if (item.first.rfind(prefix, 0) == 0)
            found.push_back(item);
    }
    return found;
}
