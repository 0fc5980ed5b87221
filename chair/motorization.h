#pragma once

#include "chair/device_data.h"

#include <QString>
#include <cstdint>

// The eight motorizations of the list, in row order.
constexpr int motorization_count = 8;
QString motorization_name(int row);

// The profile to write for a list row on a drive with the given firmware word; rows outside
// 0-7 (no row included) give profile 0.
int profile_for_row(int row, std::uint32_t firmware);

// The list row of the motorization a drive currently holds, derived from its parameters.
int recognise_row(const DeviceData &drive);

// Family name of a drive's motorization code (parameter 9), "Indefinido" for unknown codes.
QString motorization_family_name(std::uint32_t code);
