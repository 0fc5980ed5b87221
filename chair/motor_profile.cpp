#include "chair/motor_profile.h"

#include <array>
#include <cstring>

namespace {

// One drive parameter and its value in profiles 0 to 10. Every value is written as a float:
// the integers are all far below 2^24, so a float holds them exactly, and the fractional ones
// are then the nearest single to the decimal written, as the drive expects.
struct ProfileRow {
    std::uint8_t number;
    std::array<float, motor_profile_count> values;
};

// clang-format off
constexpr ProfileRow profile_rows[] = {
    { 9, {0, 0, 1, 1, 1, 2, 2, 3, 3, 2, 4}},
    {12, {3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}},
    {13, {5.0f, 5.0f, 25.0f, 25.0f, 25.0f, 25.0f, 60.0f, 50.0f, 60.0f, 5.0f, 60.0f}},
    {14, {1.0f, 1.0f, 0.1f, 0.1f, 0.1f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f}},
    {15, {2200, 2400, 2500, 3000, 4000, 3000, 4000, 3500, 3500, 4000, 3000}},
    {16, {2500, 2500, 2500, 2500, 2500, 2500, 2500, 2500, 2500, 2500, 2500}},
    {17, {1800, 2000, 2200, 2500, 3000, 2000, 3500, 2500, 2500, 3500, 2000}},
    {18, {1875, 1875, 1875, 1875, 1875, 1875, 1875, 1875, 1875, 1875, 1875}},
    {19, {1875, 2500, 1875, 1875, 1875, 1875, 1875, 1875, 1875, 1875, 1875}},
    {20, {417, 417, 490, 495, 490, 490, 490, 417, 417, 490, 417}},
    {21, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {22, {3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000}},
    {23, {5000, 5000, 4500, 4500, 4500, 5000, 5000, 5000, 5000, 5000, 5000}},
    {24, {6500, 6500, 6000, 6000, 6000, 6500, 6500, 6500, 6500, 6500, 6500}},
    {25, {8000, 8000, 7500, 7500, 7500, 8000, 8000, 8000, 8000, 8000, 8000}},
    {26, {10000, 10000, 9000, 9000, 9000, 10000, 10000, 10000, 10000, 10000, 10000}},
    {27, {0.009f, 0.009f, 0.01f, 0.01f, 0.01f, 0.0165f, 0.0107f, 0.008f, 0.008f, 0.0107f, 0.02f}},
    {28, {0.01f, 0.01f, 0.014f, 0.014f, 0.014f, 0.0059f, 0.0053f, 0.008f, 0.008f, 0.0053f, 0.01f}},
    {29, {0.009f, 0.009f, 0.045f, 0.045f, 0.045f, 0.0094f, 0.0076f, 0.007f, 0.007f, 0.0076f, 0.009f}},
    {30, {0.022f, 0.022f, 0.045f, 0.045f, 0.045f, 0.0166f, 0.027f, 0.028f, 0.028f, 0.027f, 0.03f}},
    {31, {0.032f, 0.032f, 0.05f, 0.05f, 0.05f, 0.02f, 0.0191f, 0.0217f, 0.0217f, 0.0191f, 0.0425f}},
    {32, {0.028f, 0.028f, 0.04f, 0.04f, 0.04f, 0.007f, 0.0068f, 0.009f, 0.009f, 0.0068f, 0.018f}},
    {33, {0.028f, 0.028f, 0.05f, 0.05f, 0.05f, 0.01f, 0.0053f, 0.008f, 0.008f, 0.0053f, 0.015f}},
    {34, {0.05f, 0.05f, 0.05f, 0.05f, 0.05f, 0.017f, 0.0391f, 0.03f, 0.03f, 0.0391f, 0.04f}},
    {35, {0.2f, 0.2f, 0.24f, 0.24f, 0.24f, 0.24f, 0.24f, 0.2f, 0.2f, 0.24f, 0.2f}},
    {36, {0.3f, 0.3f, 0.25f, 0.25f, 0.25f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f}},
    {37, {0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.25f, 0.25f, 0.15f, 0.15f, 0.25f, 0.15f}},
    {38, {0.24f, 0.24f, 0.24f, 0.24f, 0.24f, 0.24f, 0.24f, 0.24f, 0.24f, 0.24f, 0.24f}},
    {39, {0.16f, 0.16f, 0.25f, 0.25f, 0.25f, 0.2f, 0.2f, 0.16f, 0.16f, 0.2f, 0.16f}},
    {40, {0.12f, 0.12f, 0.15f, 0.15f, 0.15f, 0.2f, 0.25f, 0.14f, 0.14f, 0.25f, 0.14f}},
    {41, {0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f}},
    {42, {1369, 1369, 1369, 1369, 1369, 1369, 1369, 1369, 1369, 1369, 1369}},
    {43, {3000, 3500, 3500, 3500, 5500, 5000, 5500, 4500, 4500, 5500, 4000}},
    {44, {30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30}},
};
// clang-format on

ParamWord typed_word(std::uint8_t number, float value) {
    switch (drive_param_type(number)) {
    case ParamType::u8:
        return ParamWord::from_u8(static_cast<std::uint8_t>(value));
    case ParamType::i32:
        return ParamWord::from_i32(static_cast<std::int32_t>(value));
    case ParamType::f32:
        return ParamWord::from_f32(value);
    case ParamType::u32:
        break;
    }
    return ParamWord::from_u32(static_cast<std::uint32_t>(value));
}

} // namespace

ParamType drive_param_type(std::uint8_t number) {
    switch (number) {
    case 9:
    case 12:
    case 44:
        return ParamType::u8;
    case 15:
    case 17:
    case 21:
        return ParamType::i32;
    default:
        break;
    }
    if (number == 13 || number == 14 || (number >= 27 && number <= 41))
        return ParamType::f32;
    return ParamType::u32;
}

ParamWord ParamWord::from_u8(std::uint8_t value) {
    return ParamWord(value);
}

ParamWord ParamWord::from_i32(std::int32_t value) {
    return ParamWord(static_cast<std::uint32_t>(value));
}

ParamWord ParamWord::from_u32(std::uint32_t value) {
    return ParamWord(value);
}

ParamWord ParamWord::from_f32(float value) {
    static_assert(sizeof(float) == sizeof(std::uint32_t), "a single must fill one word");
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return ParamWord(bits);
}

MotorProfile build_motor_profile(int number) {
    MotorProfile profile;
    if (number < 0 || number >= motor_profile_count)
        return profile;
    for (const ProfileRow &row : profile_rows)
        profile.emplace(row.number,
                        typed_word(row.number, row.values[static_cast<std::size_t>(number)]));
    return profile;
}
