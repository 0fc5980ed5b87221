#pragma once

#include <cstdint>
#include <map>

namespace sim {

// One device on the chair's line: its parameter table and event log.
struct Device {
    std::uint8_t address = 0;
    std::map<std::uint8_t, std::uint32_t> params;
    std::map<std::uint8_t, std::uint8_t> events;
};

// A device's answer to one request: the status byte and the data word of the reply.
struct Answer {
    std::uint8_t status;
    std::uint32_t data;
};

constexpr std::uint8_t status_accepted = 1;
constexpr std::uint8_t status_refused = 0xEE;

Device default_device(std::uint8_t address);

// Carries out a request on the device and tells what it answers.
Answer answer_request(Device &device, std::uint8_t op, std::uint8_t index, std::uint32_t data);

} // namespace sim
