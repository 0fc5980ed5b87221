#include "sim/device.h"

#include "sim/sim_chair.h"

namespace sim {

namespace {

constexpr Answer refused{status_refused, 0};

Answer accepted(std::uint32_t data) {
    return Answer{status_accepted, data};
}

} // namespace

Answer answer_request(Device &device, std::uint8_t op, std::uint8_t index, std::uint32_t data) {
    const auto stored_param = device.params.find(index);
    const bool holds_param = stored_param != device.params.end();
    const auto stored_event = device.events.find(index);
    const bool holds_event = stored_event != device.events.end();
    switch (op) {
    case 0:  // open connection
    case 14: // close connection
        return accepted(0);
    case 2: // read event
        return holds_event ? accepted(stored_event->second) : refused;
    case 4: // set an event's value
        if (!holds_event) {
            return refused;
        }
        stored_event->second = static_cast<std::uint8_t>(data);
        return accepted(stored_event->second);
    case 6: // clear event
        if (!holds_event) {
            return refused;
        }
        stored_event->second = 0;
        return accepted(0);
    case 8: // read parameter
        return holds_param ? accepted(stored_param->second) : refused;
    case 10: // write parameter
        if (!holds_param) {
            return refused;
        }
        stored_param->second = data;
        return accepted(data);
    case 12: { // restore a parameter's factory value
        if (!holds_param) {
            return refused;
        }
        stored_param->second = default_params(device.address)[index];
        return accepted(stored_param->second);
    }
    case 16: { // swap a parameter's value, answering the old one
        if (!holds_param) {
            return refused;
        }
        const std::uint32_t old = stored_param->second;
        stored_param->second = data;
        return accepted(old);
    }
    case 18: // clear the whole event log
        for (auto &entry : device.events) {
            entry.second = 0;
        }
        return accepted(0);
    case 20: { // firmware version
        const auto firmware = device.params.find(5);
        return accepted(firmware != device.params.end() ? firmware->second : 0);
    }
    default:
        return refused;
    }
}

} // namespace sim
