#include "chair/device_data.h"
#include "chair/motor_profile.h"
#include "chair/motorization.h"

#include <QtTest>
#include <cstring>

namespace {

float as_single(std::uint32_t word) {
    float value = 0;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

} // namespace

class TestMotorProfiles : public QObject {
    Q_OBJECT

private slots:
    void parameter_types_and_words();
    void profiles_match_the_table();
    void names();
    void selection_rule();
    void recognition();
    void recognised_profiles_round_trip();
};

void TestMotorProfiles::parameter_types_and_words() {
    for (int n = 0; n <= 255; ++n) {
        const bool u8 = n == 9 || n == 12 || n == 44;
        const bool i32 = n == 15 || n == 17 || n == 21;
        const bool f32 = n == 13 || n == 14 || (n >= 27 && n <= 41);
        const ParamType expected = u8    ? ParamType::u8
                                   : i32 ? ParamType::i32
                                   : f32 ? ParamType::f32
                                         : ParamType::u32;
        QVERIFY2(drive_param_type(static_cast<std::uint8_t>(n)) == expected,
                 qPrintable(QString::number(n)));
    }
    QCOMPARE(ParamWord().word(), 0u);
    QCOMPARE(ParamWord::from_i32(-2200).word(), 0xFFFFF768u);
    QCOMPARE(ParamWord::from_f32(-2.0f).word(), 0xC0000000u);
}

void TestMotorProfiles::profiles_match_the_table() {
    for (int p = 0; p < motor_profile_count; ++p) {
        const MotorProfile profile = build_motor_profile(p);
        int next = 9; // then 12 to 44
        for (const auto &entry : profile) {
            QCOMPARE(int(entry.first), next);
            next = next == 9 ? 12 : next + 1;
            // Rows not in the table still have to look like their type: no single outside the
            // table's range, no bit pattern or sign extension in an integer.
            const std::uint32_t word = entry.second.word();
            const QString where = QString("profile %1 parameter %2").arg(p).arg(entry.first);
            if (drive_param_type(entry.first) == ParamType::f32)
                QVERIFY2(as_single(word) >= 0.005f && as_single(word) <= 60.0f, qPrintable(where));
            else
                QVERIFY2(word <= 10000u, qPrintable(where));
        }
        QCOMPARE(next, 45);
    }
    // The two KRT 071 profiles are alike but for parameter 13.
    MotorProfile old_fw = build_motor_profile(7);
    MotorProfile new_fw = build_motor_profile(8);
    old_fw.erase(13);
    new_fw.erase(13);
    QVERIFY(old_fw == new_fw);
    QVERIFY(build_motor_profile(-1).empty());
    QVERIFY(build_motor_profile(motor_profile_count).empty());
}

void TestMotorProfiles::names() {
    const QStringList rows{"KRT",      "KRT Standup", "KRS",     "KRS Standup",
                           "Dorvalis", "KRT 071",     "Zentaro", "TRV"};
    for (int row = 0; row < rows.size(); ++row)
        QCOMPARE(motorization_name(row), rows.at(row));
    QVERIFY(motorization_name(-1).isEmpty());
    QVERIFY(motorization_name(8).isEmpty());
    const QStringList families{"KRT", "KRS", "Dorvalis", "KRT 071", "TRV", "Indefinido"};
    for (std::uint32_t code = 0; code < 6; ++code)
        QCOMPARE(motorization_family_name(code), families.at(static_cast<int>(code)));
    QCOMPARE(motorization_family_name(0xFFFFFFFFu), QString("Indefinido"));
}

void TestMotorProfiles::selection_rule() {
    const int on_old[] = {0, 1, 2, 3, 5, 7, 9, 10};
    const int on_new[] = {0, 1, 4, 4, 6, 8, 9, 10};
    for (int row = 0; row < 8; ++row) {
        QCOMPARE(profile_for_row(row, 0x0203), on_old[row]);
        QCOMPARE(profile_for_row(row, 0x0204), on_new[row]);
    }
    QCOMPARE(profile_for_row(2, 0), 2);
    QCOMPARE(profile_for_row(4, 0x80000000u), 6);
    QCOMPARE(profile_for_row(-1, 0x0204), 0);
    QCOMPARE(profile_for_row(8, 0x0203), 0);
}

void TestMotorProfiles::recognition() {
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
        // Family, firmware, parameters 13 and 15, row. Any word in parameter 13 other than the
        // single 5.0 is Dorvalis, the integer 5 included.
        {0, v24, 0, 2200, 0},   {0, v24, 0, 2201, 1},  {0, v24, 0, 0xFFFFFFFF, 1},
        {1, v23, 0, 2501, 3},   {1, v24, 0, 2501, 2},  {1, v23, 0, 2500, 2},
        {1, v24, 0, 2500, 2},   {2, v24, f5, 0, 6},    {2, v23, f25, 3000, 4},
        {2, v24, f60, 4000, 4}, {2, v24, 5, 0, 4},     {3, v23, 0, 0, 5},
        {4, v24, f5, 9999, 7},  {5, v24, f5, 9999, 0}, {0x100, v23, 0, 9999, 0}};
    for (const auto &c : cases) {
        DeviceData drive = make_drive_data();
        drive.params[9] = c.family;
        drive.params[5] = c.firmware;
        drive.params[13] = c.p13;
        drive.params[15] = c.p15;
        QVERIFY2(recognise_row(drive) == c.row, qPrintable(QString("case %1").arg(&c - cases)));
    }
    // Parameters never read count as 0.
    QCOMPARE(recognise_row(DeviceData{}), 0);
    DeviceData sparse;
    const int sparse_rows[] = {0, 2, 4, 5, 7, 0};
    for (std::uint32_t family = 0; family < 6; ++family) {
        sparse.params[9] = family;
        QCOMPARE(recognise_row(sparse), sparse_rows[family]);
    }
    sparse.params[9] = 1;
    sparse.params[15] = 2501;
    QCOMPARE(recognise_row(sparse), 3);
}

// A drive that holds a written profile is recognised as a row that selects that same profile;
// rows 2 and 3 share profile 4 on new firmware, which then reads back as row 2.
void TestMotorProfiles::recognised_profiles_round_trip() {
    for (const std::uint32_t firmware : {0x0203u, 0x0204u}) {
        for (int row = 0; row < motorization_count; ++row) {
            const int profile = profile_for_row(row, firmware);
            DeviceData drive = make_drive_data();
            drive.params[5] = firmware;
            for (const auto &entry : build_motor_profile(profile))
                drive.params[entry.first] = entry.second.word();
            const int recognised = recognise_row(drive);
            QCOMPARE(profile_for_row(recognised, firmware), profile);
            QCOMPARE(recognised, firmware > 0x0203 && row == 3 ? 2 : row);
        }
    }
}

QTEST_APPLESS_MAIN(TestMotorProfiles)

#include "test_motor_profiles.moc"
