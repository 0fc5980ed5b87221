#pragma once

#include "link/exchanges.h"

#include <functional>

// Runs one exchange per entry of items, in ascending key order. progress is given the running
// count before each exchange. An entry the device refuses keeps its stored value and the walk goes
// on; any other failure stops it and is returned.
template <typename Items, typename Exchange>
int transfer_items(Items &items, int &count, const std::function<void(int)> &progress,
                   Exchange exchange) {
    for (auto &item : items) {
        progress(count++);
        const int result = exchange(item.first, item.second);
        if (result != exchange_ok && result != exchange_refused)
            return result;
    }
    return exchange_ok;
}
