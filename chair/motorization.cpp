#include "chair/motorization.h"

#include "chair/motor_profile.h"

namespace {

// The last firmware that still takes the older KRS, Dorvalis and KRT 071 profiles (version 2.3).
constexpr std::uint32_t last_old_firmware = 0x0203;

constexpr std::uint8_t param_firmware = 5;
constexpr std::uint8_t param_family = 9;
// The words that tell apart rows sharing a family code.
constexpr std::uint8_t param_zentaro_mark = 13;
constexpr std::uint8_t param_standup_mark = 15;

constexpr const char *row_names[motorization_count] = {
    "KRT", "KRT Standup", "KRS", "KRS Standup", "Dorvalis", "KRT 071", "Zentaro", "TRV",
};

constexpr const char *family_names[] = {"KRT", "KRS", "Dorvalis", "KRT 071", "TRV"};

std::uint32_t profile_word(int profile, std::uint8_t number) {
    return build_motor_profile(profile).at(number).word();
}

} // namespace

QString motorization_name(int row) {
    if (row < 0 || row >= motorization_count)
        return {};
    return QString::fromUtf8(row_names[row]);
}

int profile_for_row(int row, std::uint32_t firmware) {
    const bool old_firmware = firmware <= last_old_firmware;
    switch (row) {
    case 0:
        return 0;
    case 1:
        return 1;
    case 2:
        return old_firmware ? 2 : 4;
    case 3:
        return old_firmware ? 3 : 4;
    case 4:
        return old_firmware ? 5 : 6;
    case 5:
        return old_firmware ? 7 : 8;
    case 6:
        return 9;
    case 7:
        return 10;
    default:
        return 0;
    }
}

int recognise_row(const DeviceData &drive) {
    // Thresholds taken from the built-in profiles, so the two cannot drift apart.
    static const std::uint32_t krt_standup_limit = profile_word(0, param_standup_mark);
    static const std::uint32_t krs_standup_limit = profile_word(2, param_standup_mark);
    static const std::uint32_t zentaro_mark = profile_word(9, param_zentaro_mark);

    const std::uint32_t firmware = param_or_zero(drive, param_firmware);
    const std::uint32_t standup_mark = param_or_zero(drive, param_standup_mark);
    switch (param_or_zero(drive, param_family)) {
    case 0:
        return standup_mark > krt_standup_limit ? 1 : 0;
    case 1:
        return firmware <= last_old_firmware && standup_mark > krs_standup_limit ? 3 : 2;
    case 2:
        return param_or_zero(drive, param_zentaro_mark) == zentaro_mark ? 6 : 4;
    case 3:
        return 5;
    case 4:
        return 7;
    default:
        return 0;
    }
}

QString motorization_family_name(std::uint32_t code) {
    if (code >= sizeof family_names / sizeof family_names[0])
        return QStringLiteral("Indefinido");
    return QString::fromUtf8(family_names[code]);
}
