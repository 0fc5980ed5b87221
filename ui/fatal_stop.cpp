#include "ui/fatal_stop.h"

#include <atomic>

namespace {
std::atomic<bool> fatal_stop_flag{false};
}

void record_fatal_stop() {
    fatal_stop_flag.store(true);
}

bool fatal_stop_recorded() {
    return fatal_stop_flag.load();
}
