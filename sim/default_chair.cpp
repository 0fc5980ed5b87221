#include "sim/device.h"
#include "sim/sim_chair.h"

#include <cstring>

namespace sim {

namespace {

std::uint32_t text_word(const char (&text)[4]) {
    return std::uint32_t{static_cast<unsigned char>(text[0])} << 16 |
           std::uint32_t{static_cast<unsigned char>(text[1])} << 8 |
           std::uint32_t{static_cast<unsigned char>(text[2])};
}

std::uint32_t float_word(float value) {
    std::uint32_t word = 0;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

// The words of the "KRS" motorization for drive firmware 2.4 and later, as the drive holds them
// after a service.
std::map<std::uint8_t, std::uint32_t> krs_profile() {
    return {
        {9, 1},
        {12, 3},
        {13, float_word(25.0f)},
        {14, float_word(0.1f)},
        {15, 4000},
        {16, 2500},
        {17, 3000},
        {18, 1875},
        {19, 1875},
        {20, 490},
        {21, 0},
        {22, 3000},
        {23, 4500},
        {24, 6000},
        {25, 7500},
        {26, 9000},
        {27, float_word(0.01f)},
        {28, float_word(0.014f)},
        {29, float_word(0.045f)},
        {30, float_word(0.045f)},
        {31, float_word(0.05f)},
        {32, float_word(0.04f)},
        {33, float_word(0.05f)},
        {34, float_word(0.05f)},
        {35, float_word(0.24f)},
        {36, float_word(0.25f)},
        {37, float_word(0.15f)},
        {38, float_word(0.24f)},
        {39, float_word(0.25f)},
        {40, float_word(0.15f)},
        {41, float_word(0.6f)},
        {42, 1369},
        {43, 5500},
        {44, 30},
    };
}

} // namespace

std::map<std::uint8_t, std::uint32_t> default_params(std::uint8_t device) {
    std::map<std::uint8_t, std::uint32_t> values;
    for (int index = 1; index <= 44; ++index) {
        values[static_cast<std::uint8_t>(index)] = static_cast<std::uint32_t>(100 * index);
    }
    if (device == panel) {
        values[1] = text_word("VZP");
        values[2] = text_word("C12");
        values[3] = 654321;
        values[4] = 0x0101;
        values[5] = 0x0203;
    } else {
        values[1] = text_word("VZM");
        values[2] = text_word("D24");
        values[3] = 123456;
        values[4] = 0x0100;
        values[5] = 0x0204;
        for (const auto &[index, word] : krs_profile()) {
            values[index] = word;
        }
    }
    return values;
}

std::map<std::uint8_t, std::uint8_t> default_events(std::uint8_t device) {
    std::map<std::uint8_t, std::uint8_t> values;
    const auto add = [&values](int first, int last) {
        for (int index = first; index <= last; ++index) {
            values[static_cast<std::uint8_t>(index)] = static_cast<std::uint8_t>(index % 9 + 1);
        }
    };
    add(0x01, device == panel ? 0x14 : 0x16);
    if (device == panel) {
        add(0x21, 0x22);
    } else {
        add(0x21, 0x25);
        add(0x31, 0x33);
    }
    return values;
}

Device default_device(std::uint8_t address) {
    return Device{address, default_params(address), default_events(address)};
}

} // namespace sim
