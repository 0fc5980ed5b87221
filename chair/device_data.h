#pragma once

#include <cstdint>
#include <map>

// One device's data as read from the chair. The key sets are fixed when the store is made and
// every transfer walks them in ascending order.
struct DeviceData {
    std::map<std::uint8_t, std::uint8_t> events;
    std::map<std::uint8_t, std::uint32_t> params;
};

constexpr std::uint8_t panel_address = 1;
constexpr std::uint8_t drive_address = 2;

// Events 0x01-0x14, 0x21, 0x22; parameters 0x01-0x2C; every value 0.
DeviceData make_panel_data();
// Events 0x01-0x16, 0x21-0x25, 0x31-0x33; parameters 0x01-0x2C; every value 0.
DeviceData make_drive_data();

// A parameter as held in a store; an index the store does not hold reads as 0.
std::uint32_t param_or_zero(const DeviceData &data, std::uint8_t index);
