#include "chair/device_data.h"
#include "chair/motor_profile.h"
#include "chair/motorization.h"

#include <QtTest>

// The rules around the profile table: which profile a row writes, which row a drive's words are
// read as, and how each parameter is typed.
class TestMotorProfiles : public QObject {
    Q_OBJECT

private slots:
    void types_names_and_bounds() {
        const ParamType f32 = ParamType::f32;
        const std::pair<int, ParamType> types[] = {{9, ParamType::u8},
                                                   {44, ParamType::u8},
                                                   {15, ParamType::i32},
                                                   {21, ParamType::i32},
                                                   {13, f32},
                                                   {14, f32},
                                                   {27, f32},
                                                   {41, f32},
                                                   {26, ParamType::u32},
                                                   {42, ParamType::u32}};
        for (const auto &[number, type] : types)
            QVERIFY2(drive_param_type(static_cast<std::uint8_t>(number)) == type,
                     qPrintable(QString::number(number)));
        QCOMPARE(ParamWord::from_i32(-2200).word(), 0xFFFFF768u);
        QCOMPARE(motorization_family_name(4), QStringLiteral("TRV"));
        QCOMPARE(motorization_family_name(5), QStringLiteral("Indefinido"));
        QVERIFY(build_motor_profile(-1).empty());
        QVERIFY(build_motor_profile(motor_profile_count).empty());
    }

    void selection_rule() {
        const int on_old[] = {0, 1, 2, 3, 5, 7, 9, 10};
        const int on_new[] = {0, 1, 4, 4, 6, 8, 9, 10};
        for (int row = 0; row < motorization_count; ++row) {
            QCOMPARE(profile_for_row(row, 0x0203), on_old[row]);
            QCOMPARE(profile_for_row(row, 0x0204), on_new[row]);
        }
        QCOMPARE(profile_for_row(-1, 0x0204), 0);
    }

    void recognition() {
        // Firmware 2.3 and 2.4; the singles 5.0, 25.0 and 60.0.
        const std::uint32_t v23 = 0x0203;
        const std::uint32_t v24 = 0x0204;
        const std::uint32_t f5 = 0x40A00000;
        const std::uint32_t f25 = 0x41C80000;
        const std::uint32_t f60 = 0x42700000;
        const struct {
            std::uint32_t family, firmware, p13, p15;
            int row;
        } cases[] = {
            // Family, firmware, parameters 13 and 15, row. Any word in parameter 13 other than
            // the single 5.0 is Dorvalis, the integer 5 included.
            {0, v24, 0, 2200, 0}, {0, v24, 0, 2201, 1},   {0, v24, 0, 0xFFFFFFFF, 1},
            {1, v23, 0, 2501, 3}, {1, v24, 0, 2501, 2},   {1, v23, 0, 2500, 2},
            {2, v24, f5, 0, 6},   {2, v23, f25, 3000, 4}, {2, v24, f60, 4000, 4},
            {2, v24, 5, 0, 4},    {3, v23, 0, 0, 5},      {4, v24, f5, 9999, 7},
            {5, v24, f5, 9999, 0}};
        for (const auto &c : cases) {
            DeviceData drive = make_drive_data();
            drive.params[9] = c.family;
            drive.params[5] = c.firmware;
            drive.params[13] = c.p13;
            drive.params[15] = c.p15;
            QVERIFY2(recognise_row(drive) == c.row, qPrintable(QString("case %1").arg(&c - cases)));
        }
    }

    // A drive that holds a written profile is read as a row that selects that same profile.
    void recognised_profiles_round_trip() {
        for (const std::uint32_t firmware : {0x0203u, 0x0204u}) {
            for (int row = 0; row < motorization_count; ++row) {
                const int profile = profile_for_row(row, firmware);
                DeviceData drive = make_drive_data();
                drive.params[5] = firmware;
                for (const auto &entry : build_motor_profile(profile))
                    drive.params[entry.first] = entry.second.word();
                QCOMPARE(profile_for_row(recognise_row(drive), firmware), profile);
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestMotorProfiles)
#include "test_motor_profiles.moc"
