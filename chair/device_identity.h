#pragma once

#include "chair/device_data.h"

#include <QString>

// Serial number of a device: three characters from each of parameters 1 and 2 (bits 23-16, 15-8,
// 7-0, as Latin-1 codes), then parameter 3 as at least six zero-padded decimal digits.
QString serial_text(const DeviceData &data);

// Six letters or digits followed by six digits, letter case ignored.
bool serial_is_valid(const QString &serial);

// "major.minor" of a version word: bits 15-8 and 7-0 in decimal, without padding.
QString version_text(std::uint32_t word);
