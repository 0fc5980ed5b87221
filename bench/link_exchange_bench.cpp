// CPU cost of the chair exchanges against the simulated chair, with the protocol's waits counted
// instead of slept, and the wall time of one read_parameter with its real 50 ms wait.
#include "link/cable.h"
#include "link/exchanges.h"
#include "link/msleep.h"
#include "sim/sim_chair.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

std::atomic<unsigned long> skipped_ms{0};

void count_wait(unsigned milliseconds) {
    skipped_ms += milliseconds;
}

double cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs the exchange `rounds` times and prints its CPU time per call and the waits it asked for.
void measure(const char *name, int rounds, const std::function<int()> &exchange) {
    skipped_ms = 0;
    sim::clear_record();
    int failures = 0;
    const double start = cpu_seconds();
    for (int i = 0; i < rounds; ++i) {
        failures += exchange() != 0 ? 1 : 0;
    }
    const double per_call_us = (cpu_seconds() - start) * 1e6 / rounds;
    std::printf("%-34s %8d calls  %9.2f us CPU/call  %7.1f ms waits/call  %d non-zero\n", name,
                rounds, per_call_us, static_cast<double>(skipped_ms) / rounds, failures);
}

} // namespace

int main() {
    ftdi_context *cable = nullptr;
    if (open_cable(cable, service_cable_product_id) != 0) {
        std::fprintf(stderr, "the simulated cable did not open\n");
        return 1;
    }
    replace_sleep_function(&count_wait);
    std::uint32_t value = 0;
    measure("read_parameter (accepted)", 20000,
            [&] { return read_parameter(cable, 2, 2, 5, value); });
    measure("write_parameter (accepted)", 20000,
            [&] { return write_parameter(cable, 2, 2, 15, 4000); });
    measure("open_connection (accepted)", 20000, [&] { return open_connection(cable, 1); });
    sim::refuse(sim::drive, 8, 44);
    measure("read_parameter (refused)", 20000,
            [&] { return read_parameter(cable, 2, 2, 44, value); });
    sim::set_silent(true);
    measure("read_parameter (silent chair, -4)", 500,
            [&] { return read_parameter(cable, 2, 2, 5, value); });
    sim::set_silent(false);

    replace_sleep_function(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const int result = read_parameter(cable, 2, 2, 5, value);
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
    std::printf("read_parameter with real waits: result %d, %.2f ms wall (mandated wait 50 ms, "
                "overhead %.2f ms)\n",
                result, wall.count(), wall.count() - 50.0);
    close_cable(cable);
    return 0;
}
