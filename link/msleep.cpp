#include "link/msleep.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

void real_sleep(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Atomic so a test may swap it while a job thread is sleeping through it.
std::atomic<SleepFunction> sleep_function{&real_sleep};

} // namespace

void msleep(unsigned milliseconds) {
    sleep_function.load()(milliseconds);
}

SleepFunction replace_sleep_function(SleepFunction fn) {
    return sleep_function.exchange(fn != nullptr ? fn : &real_sleep);
}
