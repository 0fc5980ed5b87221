#include "recorded_sleep.h"

#include "link/msleep.h"

#include <mutex>
#include <numeric>

namespace {

std::mutex waits_mutex;
std::vector<unsigned> recorded_waits;

void record_wait(unsigned milliseconds) {
    const std::lock_guard<std::mutex> lock(waits_mutex);
    recorded_waits.push_back(milliseconds);
}

} // namespace

RecordedSleep::RecordedSleep() {
    clear();
    replace_sleep_function(&record_wait);
}

RecordedSleep::~RecordedSleep() {
    replace_sleep_function(nullptr);
}

std::vector<unsigned> RecordedSleep::waits() const {
    const std::lock_guard<std::mutex> lock(waits_mutex);
    return recorded_waits;
}

unsigned RecordedSleep::total() const {
    const std::vector<unsigned> all = waits();
    return std::accumulate(all.begin(), all.end(), 0u);
}

void RecordedSleep::clear() {
    const std::lock_guard<std::mutex> lock(waits_mutex);
    recorded_waits.clear();
}
