#include "chair/device_data.h"
#include "chair/motor_profile.h"
#include "chair/motorization.h"

#include <QtTest>
#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

using Column = std::array<std::uint32_t, motor_profile_count>;

// Expected words for the parameters that differ most between profiles. The singles are their
// IEEE-754 bit patterns written out by hand, so a wrong literal or a wrong conversion both show.
struct ExpectedRow {
    std::uint8_t number;
    Column words;
};

const ExpectedRow expected_rows[] = {
    {9, {0, 0, 1, 1, 1, 2, 2, 3, 3, 2, 4}},
    {12, {3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}},
    {13,
     {0x40A00000, 0x40A00000, 0x41C80000, 0x41C80000, 0x41C80000, 0x41C80000, 0x42700000,
      0x42480000, 0x42700000, 0x40A00000, 0x42700000}},
    {14,
     {0x3F800000, 0x3F800000, 0x3DCCCCCD, 0x3DCCCCCD, 0x3DCCCCCD, 0x3F800000, 0x3F800000,
      0x3F800000, 0x3F800000, 0x3F800000, 0x3F800000}},
    {15, {2200, 2400, 2500, 3000, 4000, 3000, 4000, 3500, 3500, 4000, 3000}},
    {17, {1800, 2000, 2200, 2500, 3000, 2000, 3500, 2500, 2500, 3500, 2000}},
    {19, {1875, 2500, 1875, 1875, 1875, 1875, 1875, 1875, 1875, 1875, 1875}},
    {20, {417, 417, 490, 495, 490, 490, 490, 417, 417, 490, 417}},
    {21, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {26, {10000, 10000, 9000, 9000, 9000, 10000, 10000, 10000, 10000, 10000, 10000}},
    {27,
     {0x3C1374BC, 0x3C1374BC, 0x3C23D70A, 0x3C23D70A, 0x3C23D70A, 0x3C872B02, 0x3C2F4F0E,
      0x3C03126F, 0x3C03126F, 0x3C2F4F0E, 0x3CA3D70A}},
    {31,
     {0x3D03126F, 0x3D03126F, 0x3D4CCCCD, 0x3D4CCCCD, 0x3D4CCCCD, 0x3CA3D70A, 0x3C9C779A,
      0x3CB1C433, 0x3CB1C433, 0x3C9C779A, 0x3D2E147B}},
    {40,
     {0x3DF5C28F, 0x3DF5C28F, 0x3E19999A, 0x3E19999A, 0x3E19999A, 0x3E4CCCCD, 0x3E800000,
      0x3E0F5C29, 0x3E0F5C29, 0x3E800000, 0x3E0F5C29}},
    {42, {1369, 1369, 1369, 1369, 1369, 1369, 1369, 1369, 1369, 1369, 1369}},
    {43, {3000, 3500, 3500, 3500, 5500, 5000, 5500, 4500, 4500, 5500, 4000}},
    {44, {30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30}},
};

constexpr std::uint32_t single_5 = 0x40A00000;
constexpr std::uint32_t single_25 = 0x41C80000;
constexpr std::uint32_t single_60 = 0x42700000;

DeviceData drive_with(std::uint32_t family, std::uint32_t firmware, std::uint32_t p13,
                      std::uint32_t p15) {
    DeviceData drive = make_drive_data();
    drive.params[9] = family;
    drive.params[5] = firmware;
    drive.params[13] = p13;
    drive.params[15] = p15;
    return drive;
}

float as_single(std::uint32_t word) {
    float value = 0;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

} // namespace

class TestMotorProfiles : public QObject {
    Q_OBJECT

private slots:
    void parameter_types();
    void word_factories();
    void profiles_hold_parameter_9_then_12_to_44();
    void profile_columns_match_the_table();
    void single_values_read_back_as_written();
    void byte_parameters_keep_upper_bits_clear();
    void krt_071_profiles_differ_only_in_parameter_13();
    void out_of_range_profile_is_empty();
    void row_names();
    void selection_rule_data();
    void selection_rule();
    void selection_follows_row_families();
    void recognition_data();
    void recognition();
    void recognition_of_missing_parameters();
    void recognised_profiles_round_trip();
    void family_names();
};

void TestMotorProfiles::parameter_types() {
    const std::vector<int> u8s{9, 12, 44};
    const std::vector<int> i32s{15, 17, 21};
    std::vector<int> f32s{13, 14};
    for (int n = 27; n <= 41; ++n)
        f32s.push_back(n);
    for (int n = 0; n <= 255; ++n) {
        const auto number = static_cast<std::uint8_t>(n);
        const auto in = [n](const std::vector<int> &set) {
            return std::find(set.begin(), set.end(), n) != set.end();
        };
        const ParamType expected = in(u8s)    ? ParamType::u8
                                   : in(i32s) ? ParamType::i32
                                   : in(f32s) ? ParamType::f32
                                              : ParamType::u32;
        QVERIFY2(drive_param_type(number) == expected, qPrintable(QString::number(n)));
    }
}

void TestMotorProfiles::word_factories() {
    QCOMPARE(ParamWord().word(), 0u);
    QCOMPARE(ParamWord::from_u8(0xAB).word(), 0xABu);
    QCOMPARE(ParamWord::from_u8(0xFF).word(), 0xFFu);
    QCOMPARE(ParamWord::from_i32(-1).word(), 0xFFFFFFFFu);
    QCOMPARE(ParamWord::from_i32(-2200).word(), 0xFFFFF768u);
    QCOMPARE(ParamWord::from_i32(2200).word(), 2200u);
    QCOMPARE(ParamWord::from_u32(0xDEADBEEF).word(), 0xDEADBEEFu);
    QCOMPARE(ParamWord::from_f32(5.0f).word(), 0x40A00000u);
    QCOMPARE(ParamWord::from_f32(0.1f).word(), 0x3DCCCCCDu);
    QCOMPARE(ParamWord::from_f32(60.0f).word(), 0x42700000u);
    QCOMPARE(ParamWord::from_f32(0.0165f).word(), 0x3C872B02u);
    QCOMPARE(ParamWord::from_f32(-2.0f).word(), 0xC0000000u);
    QCOMPARE(ParamWord::from_f32(0.0f).word(), 0u);
    QVERIFY(ParamWord::from_u32(7) == ParamWord::from_u8(7));
    QVERIFY(!(ParamWord::from_f32(1.0f) == ParamWord::from_u32(1)));
}

void TestMotorProfiles::profiles_hold_parameter_9_then_12_to_44() {
    std::vector<std::uint8_t> expected{9};
    for (int n = 12; n <= 44; ++n)
        expected.push_back(static_cast<std::uint8_t>(n));
    for (int p = 0; p < motor_profile_count; ++p) {
        const MotorProfile profile = build_motor_profile(p);
        QCOMPARE(profile.size(), std::size_t{34});
        std::vector<std::uint8_t> order;
        std::transform(profile.begin(), profile.end(), std::back_inserter(order),
                       [](const auto &entry) { return entry.first; });
        QVERIFY2(order == expected, qPrintable(QString("profile %1").arg(p)));
    }
}

void TestMotorProfiles::profile_columns_match_the_table() {
    for (int p = 0; p < motor_profile_count; ++p) {
        const MotorProfile profile = build_motor_profile(p);
        for (const ExpectedRow &row : expected_rows) {
            const std::uint32_t want = row.words[static_cast<std::size_t>(p)];
            const std::uint32_t got = profile.at(row.number).word();
            QVERIFY2(got == want, qPrintable(QString("profile %1 parameter %2: %3, expected %4")
                                                 .arg(p)
                                                 .arg(row.number)
                                                 .arg(got, 8, 16, QChar('0'))
                                                 .arg(want, 8, 16, QChar('0'))));
        }
    }
}

void TestMotorProfiles::single_values_read_back_as_written() {
    // A few singles read back through the drive's reading of the word, decimal against decimal.
    QCOMPARE(as_single(build_motor_profile(5).at(27).word()), 0.0165f);
    QCOMPARE(as_single(build_motor_profile(10).at(31).word()), 0.0425f);
    QCOMPARE(as_single(build_motor_profile(6).at(34).word()), 0.0391f);
    QCOMPARE(as_single(build_motor_profile(0).at(41).word()), 0.6f);
    QCOMPARE(as_single(build_motor_profile(7).at(13).word()), 50.0f);
    for (int p = 0; p < motor_profile_count; ++p) {
        const MotorProfile profile = build_motor_profile(p);
        for (const auto &entry : profile) {
            if (drive_param_type(entry.first) != ParamType::f32)
                continue;
            const float value = as_single(entry.second.word());
            QVERIFY2(value > 0.0f && value <= 60.0f,
                     qPrintable(QString("profile %1 parameter %2").arg(p).arg(entry.first)));
        }
    }
}

void TestMotorProfiles::byte_parameters_keep_upper_bits_clear() {
    for (int p = 0; p < motor_profile_count; ++p) {
        const MotorProfile profile = build_motor_profile(p);
        for (const auto &entry : profile) {
            if (drive_param_type(entry.first) == ParamType::f32)
                continue;
            // Every integer in the table is small and non-negative: a float bit pattern or a
            // sign-extended value would show up here.
            QVERIFY2(entry.second.word() <= 10000u,
                     qPrintable(QString("profile %1 parameter %2").arg(p).arg(entry.first)));
        }
    }
}

void TestMotorProfiles::krt_071_profiles_differ_only_in_parameter_13() {
    // The two KRT 071 profiles are alike but for parameter 13: 50.0 up to firmware 2.3, 60.0
    // later. Every other pair of profiles differs somewhere else too.
    MotorProfile old_fw = build_motor_profile(7);
    MotorProfile new_fw = build_motor_profile(8);
    QCOMPARE(old_fw.at(13).word(), 0x42480000u);
    QCOMPARE(new_fw.at(13).word(), 0x42700000u);
    old_fw.erase(13);
    new_fw.erase(13);
    QVERIFY(old_fw == new_fw);
    for (int p = 0; p < motor_profile_count; ++p)
        for (int q = p + 1; q < motor_profile_count; ++q)
            QVERIFY2(build_motor_profile(p) != build_motor_profile(q),
                     qPrintable(QString("profiles %1 and %2").arg(p).arg(q)));
}

void TestMotorProfiles::out_of_range_profile_is_empty() {
    QVERIFY(build_motor_profile(-1).empty());
    QVERIFY(build_motor_profile(motor_profile_count).empty());
    QVERIFY(build_motor_profile(1000).empty());
}

void TestMotorProfiles::row_names() {
    const QStringList expected{"KRT",      "KRT Standup", "KRS",     "KRS Standup",
                               "Dorvalis", "KRT 071",     "Zentaro", "TRV"};
    // Pins the table's size, constant as it is: a ninth row must come with its test.
    // cppcheck-suppress knownConditionTrueFalse
    QCOMPARE(motorization_count, 8);
    for (int row = 0; row < motorization_count; ++row)
        QCOMPARE(motorization_name(row), expected.at(row));
    QVERIFY(motorization_name(-1).isEmpty());
    QVERIFY(motorization_name(8).isEmpty());
}

void TestMotorProfiles::selection_rule_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<quint32>("firmware");
    QTest::addColumn<int>("profile");

    const quint32 old_fw = 0x0203;
    const quint32 new_fw = 0x0204;
    const int on_old[] = {0, 1, 2, 3, 5, 7, 9, 10};
    const int on_new[] = {0, 1, 4, 4, 6, 8, 9, 10};
    for (int row = 0; row < 8; ++row) {
        QTest::addRow("row %d on 2.3", row) << row << old_fw << on_old[row];
        QTest::addRow("row %d on 2.4", row) << row << new_fw << on_new[row];
    }
    QTest::newRow("row 2, firmware never read") << 2 << 0u << 2;
    QTest::newRow("row 2, firmware 1.255") << 2 << 0x01FFu << 2;
    QTest::newRow("row 3, firmware 2.255") << 3 << 0x02FFu << 4;
    QTest::newRow("row 4, top bit set, compared unsigned") << 4 << 0x80000000u << 6;
    QTest::newRow("row 5, all ones, compared unsigned") << 5 << 0xFFFFFFFFu << 8;
    QTest::newRow("no row") << -1 << new_fw << 0;
    QTest::newRow("row 8") << 8 << old_fw << 0;
    QTest::newRow("row 127") << 127 << new_fw << 0;
    QTest::newRow("row -128") << -128 << new_fw << 0;
}

void TestMotorProfiles::selection_rule() {
    QFETCH(int, row);
    QFETCH(quint32, firmware);
    QFETCH(int, profile);
    QCOMPARE(profile_for_row(row, firmware), profile);
}

void TestMotorProfiles::selection_follows_row_families() {
    // Parameter 9 of the selected profile is the family code the row stands for.
    const std::uint32_t family_of_row[] = {0, 0, 1, 1, 2, 3, 2, 4};
    for (int row = 0; row < motorization_count; ++row)
        for (const std::uint32_t firmware : {0x0100u, 0x0203u, 0x0204u, 0x02FFu}) {
            const MotorProfile profile = build_motor_profile(profile_for_row(row, firmware));
            QCOMPARE(profile.at(9).word(), family_of_row[row]);
        }
}

void TestMotorProfiles::recognition_data() {
    QTest::addColumn<quint32>("family");
    QTest::addColumn<quint32>("firmware");
    QTest::addColumn<quint32>("p13");
    QTest::addColumn<quint32>("p15");
    QTest::addColumn<int>("row");

    QTest::newRow("KRT at the limit") << 0u << 0x0204u << 0u << 2200u << 0;
    QTest::newRow("KRT Standup above it") << 0u << 0x0204u << 0u << 2201u << 1;
    QTest::newRow("KRT Standup on 2.3") << 0u << 0x0203u << 0u << 2400u << 1;
    QTest::newRow("KRT, negative word is large unsigned")
        << 0u << 0x0204u << 0u << 0xFFFFFFFFu << 1;
    QTest::newRow("KRS Standup on 2.3") << 1u << 0x0203u << 0u << 2501u << 3;
    QTest::newRow("KRS on 2.4 despite 2501") << 1u << 0x0204u << 0u << 2501u << 2;
    QTest::newRow("KRS at the limit on 2.3") << 1u << 0x0203u << 0u << 2500u << 2;
    QTest::newRow("KRS at the limit on 2.4") << 1u << 0x0204u << 0u << 2500u << 2;
    QTest::newRow("KRS on 2.4 with profile 4") << 1u << 0x0204u << 0u << 4000u << 2;
    QTest::newRow("Zentaro") << 2u << 0x0203u << single_5 << 4000u << 6;
    QTest::newRow("Zentaro on 2.4") << 2u << 0x0204u << single_5 << 0u << 6;
    QTest::newRow("Dorvalis with 25.0") << 2u << 0x0203u << single_25 << 3000u << 4;
    QTest::newRow("Dorvalis with 60.0") << 2u << 0x0204u << single_60 << 4000u << 4;
    QTest::newRow("Dorvalis with integer 5") << 2u << 0x0204u << 5u << 0u << 4;
    QTest::newRow("KRT 071") << 3u << 0x0203u << 0u << 0u << 5;
    QTest::newRow("TRV") << 4u << 0x0204u << single_5 << 9999u << 7;
    QTest::newRow("family 5") << 5u << 0x0204u << single_5 << 9999u << 0;
    QTest::newRow("family 255") << 255u << 0x0203u << 0u << 9999u << 0;
    QTest::newRow("family with a high bit") << 0x100u << 0x0203u << 0u << 9999u << 0;
}

void TestMotorProfiles::recognition() {
    QFETCH(quint32, family);
    QFETCH(quint32, firmware);
    QFETCH(quint32, p13);
    QFETCH(quint32, p15);
    QFETCH(int, row);
    QCOMPARE(recognise_row(drive_with(family, firmware, p13, p15)), row);
}

void TestMotorProfiles::recognition_of_missing_parameters() {
    QCOMPARE(recognise_row(DeviceData{}), 0);
    QCOMPARE(recognise_row(make_drive_data()), 0);

    // Only the family code present: everything else reads as 0.
    DeviceData sparse;
    sparse.params[9] = 1;
    QCOMPARE(recognise_row(sparse), 2);
    sparse.params[9] = 2;
    QCOMPARE(recognise_row(sparse), 4);
    sparse.params[15] = 2501;
    sparse.params[9] = 1;
    QCOMPARE(recognise_row(sparse), 3);
}

void TestMotorProfiles::recognised_profiles_round_trip() {
    // A drive that holds a written profile is recognised as a row that selects that same
    // profile. Rows 2 and 3 share profile 4 on new firmware, which then reads back as row 2.
    for (const std::uint32_t firmware : {0x0203u, 0x0204u}) {
        for (int row = 0; row < motorization_count; ++row) {
            const int profile = profile_for_row(row, firmware);
            DeviceData drive = make_drive_data();
            drive.params[5] = firmware;
            for (const auto &entry : build_motor_profile(profile))
                drive.params[entry.first] = entry.second.word();
            const int recognised = recognise_row(drive);
            QCOMPARE(profile_for_row(recognised, firmware), profile);
            const bool shared_on_new = firmware > 0x0203 && row == 3;
            QCOMPARE(recognised, shared_on_new ? 2 : row);
        }
    }
}

void TestMotorProfiles::family_names() {
    QCOMPARE(motorization_family_name(0), QString("KRT"));
    QCOMPARE(motorization_family_name(1), QString("KRS"));
    QCOMPARE(motorization_family_name(2), QString("Dorvalis"));
    QCOMPARE(motorization_family_name(3), QString("KRT 071"));
    QCOMPARE(motorization_family_name(4), QString("TRV"));
    QCOMPARE(motorization_family_name(5), QString("Indefinido"));
    QCOMPARE(motorization_family_name(255), QString("Indefinido"));
    QCOMPARE(motorization_family_name(0xFFFFFFFFu), QString("Indefinido"));
}

QTEST_APPLESS_MAIN(TestMotorProfiles)

#include "test_motor_profiles.moc"
