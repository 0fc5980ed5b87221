#pragma once

#include "link/cable.h"
#include "link/frame.h"
#include "recorded_sleep.h"
#include "sim/sim_chair.h"

#include <ftdi.h>

#include <QtTest>

#include <vector>

using Bytes = std::vector<std::uint8_t>;

// What a caller's out value holds before an exchange that must leave it alone.
constexpr std::uint32_t untouched = 0xA5A5A5A5;

// A cable opened on a freshly reset simulated chair, closed again when the test ends.
class SimCable {
public:
    SimCable() {
        sim::reset();
        if (open_cable(cable, service_cable_product_id) != 0) {
            qFatal("the simulated cable did not open");
        }
        sim::clear_record();
    }
    ~SimCable() { close_cable(cable); }
    SimCable(const SimCable &) = delete;
    SimCable &operator=(const SimCable &) = delete;

    ftdi_context *cable = nullptr;
};

// The same, with the link's waits recorded instead of slept.
struct QuietCable : SimCable {
    RecordedSleep sleep;
};

inline Bytes bytes_of(const Frame &frame) {
    return {frame.begin(), frame.end()};
}

// The sizes asked for by every read of the record, in order.
inline std::vector<long> read_sizes() {
    std::vector<long> sizes;
    for (const sim::Call &call : sim::calls()) {
        if (call.name == "ftdi_read_data") {
            sizes.push_back(call.args.at(0));
        }
    }
    return sizes;
}
