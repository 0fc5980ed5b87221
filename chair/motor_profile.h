#pragma once

#include <cstdint>
#include <map>

// How the drive reads each of its parameter words. The profiles and the service report both
// follow these types.
enum class ParamType { u8, i32, u32, f32 };

// Type of a drive parameter number; numbers outside the typed set read as u32.
ParamType drive_param_type(std::uint8_t number);

// One 32-bit drive parameter word, 0 when default-constructed.
class ParamWord {
public:
    ParamWord() = default;
    static ParamWord from_u8(std::uint8_t value);
    static ParamWord from_i32(std::int32_t value);
    static ParamWord from_u32(std::uint32_t value);
    static ParamWord from_f32(float value);

    std::uint32_t word() const { return word_; }
    bool operator==(const ParamWord &other) const { return word_ == other.word_; }

private:
    explicit ParamWord(std::uint32_t word) : word_(word) {}
    std::uint32_t word_ = 0;
};

// Drive parameter number to word, iterated in ascending number: 9 and 12 to 44.
using MotorProfile = std::map<std::uint8_t, ParamWord>;

constexpr int motor_profile_count = 11;

// Profile 0 to 10 as built into the tool.
MotorProfile build_motor_profile(int number);
