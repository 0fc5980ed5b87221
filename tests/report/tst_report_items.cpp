#include "chair/device_data.h"
#include "chair/motor_profile.h"
#include "report/report_items.h"
#include "report/report_request.h"
#include "server/form_decoding.h"

#include <QtTest>

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t f32_word(float value) {
    std::uint32_t word = 0;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

DeviceData known_panel() {
    DeviceData panel = make_panel_data();
    panel.params[1] = 0x00414243;
    panel.params[2] = 0x00313233;
    panel.params[3] = 42;
    panel.params[4] = 0x0103;
    panel.params[5] = 0x020A;
    panel.params[6] = 0xDEAD;
    panel.params[7] = 0xBEEF;
    for (int k = 8; k <= 44; ++k)
        panel.params[static_cast<std::uint8_t>(k)] = 0xABCD0000u + static_cast<std::uint32_t>(k);
    for (auto &[number, value] : panel.events)
        value = static_cast<std::uint8_t>(number * 7);
    return panel;
}

DeviceData known_drive() {
    DeviceData drive = make_drive_data();
    auto &p = drive.params;
    p[1] = 0x7F6B7274; // the top byte is not part of the serial
    p[2] = 0x00303731;
    p[3] = 123456;
    p[4] = 0x0204;
    p[5] = 0x0201;
    p[6] = 1;
    p[7] = 2;
    p[8] = 0xFFFFFFFF;
    p[9] = 3;
    p[10] = 0;
    p[11] = 7;
    p[12] = 0x105;
    p[13] = f32_word(0.0165f);
    p[14] = f32_word(60.0f);
    p[15] = static_cast<std::uint32_t>(-5);
    p[16] = 0x80000000;
    p[17] = 0x80000000;
    p[18] = 100;
    p[19] = 200;
    p[20] = 300;
    p[21] = 1000;
    for (int k = 22; k <= 26; ++k)
        p[static_cast<std::uint8_t>(k)] = static_cast<std::uint32_t>(k * 1000);
    p[27] = f32_word(0.00001f);
    p[28] = f32_word(0.009f);
    p[29] = f32_word(1234567.0f);
    p[30] = f32_word(-2.5f);
    p[31] = f32_word(3.14159265f);
    p[32] = f32_word(1e10f);
    for (int k = 33; k <= 41; ++k)
        p[static_cast<std::uint8_t>(k)] = f32_word(static_cast<float>(k - 30) * 0.5f);
    p[42] = 0xFFFF;
    p[43] = 43;
    p[44] = 259;
    for (auto &[number, value] : drive.events)
        value = static_cast<std::uint8_t>(number * 3 + 1);
    return drive;
}

ReportCustomer known_customer() {
    return {QString::fromUtf8("José da Silva"),
            "jose+oficina@exemplo.com.br",
            "(11) 987654321",
            "01310-100",
            "529.982.247-25",
            ""};
}

// Written out from the report's layout, not from the builder.
const char *const expected_report[][2] = {
    {"", ""},
    {"nome", "José da Silva"},
    {"email", "jose+oficina@exemplo.com.br"},
    {"telefone", "(11) 987654321"},
    {"cep", "01310-100"},
    {"cpf", "529.982.247-25"},
    {"cnpj", ""},
    {"cabo_comunicacao", "Assistencia"},
    {"painel_serial", "ABC123000042"},
    {"painel_versao_fw", "2.10"},
    {"painel_versao_hw", "1.3"},
    {"painel_event_0x01", "7"},
    {"painel_event_0x02", "14"},
    {"painel_event_0x03", "21"},
    {"painel_event_0x04", "28"},
    {"painel_event_0x05", "35"},
    {"painel_event_0x06", "42"},
    {"painel_event_0x07", "49"},
    {"painel_event_0x08", "56"},
    {"painel_event_0x09", "63"},
    {"painel_event_0x0A", "70"},
    {"painel_event_0x0B", "77"},
    {"painel_event_0x0C", "84"},
    {"painel_event_0x0D", "91"},
    {"painel_event_0x0E", "98"},
    {"painel_event_0x0F", "105"},
    {"painel_event_0x10", "112"},
    {"painel_event_0x11", "119"},
    {"painel_event_0x12", "126"},
    {"painel_event_0x13", "133"},
    {"painel_event_0x14", "140"},
    {"painel_event_0x21", "231"},
    {"painel_event_0x22", "238"},
    {"painel_param_0x08", "8"},
    {"painel_param_0x09", "9"},
    {"painel_param_0x0A", "10"},
    {"painel_param_0x0B", "11"},
    {"painel_param_0x0C", "12"},
    {"painel_param_0x0D", "13"},
    {"painel_param_0x0E", "14"},
    {"painel_param_0x0F", "2882338831"},
    {"painel_param_0x10", "2882338832"},
    {"painel_param_0x11", "2882338833"},
    {"painel_param_0x12", "2882338834"},
    {"painel_param_0x13", "2882338835"},
    {"painel_param_0x14", "2882338836"},
    {"painel_param_0x15", "2882338837"},
    {"painel_param_0x16", "2882338838"},
    {"painel_param_0x17", "2882338839"},
    {"painel_param_0x18", "2882338840"},
    {"painel_param_0x19", "2882338841"},
    {"painel_param_0x1A", "2882338842"},
    {"painel_param_0x1B", "2882338843"},
    {"painel_param_0x1C", "2882338844"},
    {"painel_param_0x1D", "2882338845"},
    {"painel_param_0x1E", "2882338846"},
    {"painel_param_0x1F", "31"},
    {"painel_param_0x20", "32"},
    {"painel_param_0x21", "33"},
    {"painel_param_0x22", "34"},
    {"painel_param_0x23", "35"},
    {"painel_param_0x24", "36"},
    {"painel_param_0x25", "37"},
    {"painel_param_0x26", "38"},
    {"painel_param_0x27", "39"},
    {"painel_param_0x28", "40"},
    {"painel_param_0x29", "41"},
    {"painel_param_0x2A", "42"},
    {"painel_param_0x2B", "43"},
    {"painel_param_0x2C", "44"},
    {"drive_serial", "krt071123456"},
    {"drive_versao_fw", "2.1"},
    {"drive_versao_hw", "2.4"},
    {"drive_motorizacao", "KRT 071"},
    {"drive_event_0x01", "4"},
    {"drive_event_0x02", "7"},
    {"drive_event_0x03", "10"},
    {"drive_event_0x04", "13"},
    {"drive_event_0x05", "16"},
    {"drive_event_0x06", "19"},
    {"drive_event_0x07", "22"},
    {"drive_event_0x08", "25"},
    {"drive_event_0x09", "28"},
    {"drive_event_0x0A", "31"},
    {"drive_event_0x0B", "34"},
    {"drive_event_0x0C", "37"},
    {"drive_event_0x0D", "40"},
    {"drive_event_0x0E", "43"},
    {"drive_event_0x0F", "46"},
    {"drive_event_0x10", "49"},
    {"drive_event_0x11", "52"},
    {"drive_event_0x12", "55"},
    {"drive_event_0x13", "58"},
    {"drive_event_0x14", "61"},
    {"drive_event_0x15", "64"},
    {"drive_event_0x16", "67"},
    {"drive_event_0x21", "100"},
    {"drive_event_0x22", "103"},
    {"drive_event_0x23", "106"},
    {"drive_event_0x24", "109"},
    {"drive_event_0x25", "112"},
    {"drive_event_0x31", "148"},
    {"drive_event_0x32", "151"},
    {"drive_event_0x33", "154"},
    {"drive_param_0x08", "4294967295"},
    {"drive_param_0x09", "3"},
    {"drive_param_0x0A", "0"},
    {"drive_param_0x0B", "7"},
    {"drive_param_0x0C", "5"},
    {"drive_param_0x0D", "0.0165"},
    {"drive_param_0x0E", "60"},
    {"drive_param_0x0F", "-5"},
    {"drive_param_0x10", "2147483648"},
    {"drive_param_0x11", "-2147483648"},
    {"drive_param_0x12", "100"},
    {"drive_param_0x13", "200"},
    {"drive_param_0x14", "300"},
    {"drive_param_0x15", "1000"},
    {"drive_param_0x16", "22000"},
    {"drive_param_0x17", "23000"},
    {"drive_param_0x18", "24000"},
    {"drive_param_0x19", "25000"},
    {"drive_param_0x1A", "26000"},
    {"drive_param_0x1B", "1e-05"},
    {"drive_param_0x1C", "0.009"},
    {"drive_param_0x1D", "1.23457e+06"},
    {"drive_param_0x1E", "-2.5"},
    {"drive_param_0x1F", "3.14159"},
    {"drive_param_0x20", "1e+10"},
    {"drive_param_0x21", "1.5"},
    {"drive_param_0x22", "2"},
    {"drive_param_0x23", "2.5"},
    {"drive_param_0x24", "3"},
    {"drive_param_0x25", "3.5"},
    {"drive_param_0x26", "4"},
    {"drive_param_0x27", "4.5"},
    {"drive_param_0x28", "5"},
    {"drive_param_0x29", "5.5"},
    {"drive_param_0x2A", "65535"},
    {"drive_param_0x2B", "43"},
    {"drive_param_0x2C", "3"},
};

QString value_of(const ReportItems &items, const QString &key) {
    const auto *const found = std::find_if(
        items.begin(), items.end(), [&key](const ReportItem &item) { return item.first == key; });
    return found == items.end() ? QStringLiteral("<missing>") : found->second;
}

QString drive_item(std::uint8_t number, std::uint32_t word) {
    DeviceData drive = make_drive_data();
    drive.params[number] = word;
    const ReportItems items = build_report_items({}, 0xFFFF, make_panel_data(), drive);
    return value_of(items, QString::asprintf("drive_param_0x%02X", number));
}

} // namespace

class TestReportItems : public QObject {
    Q_OBJECT

private slots:
    void known_chair_and_customer_give_the_written_out_report() {
        const ReportItems items =
            build_report_items(known_customer(), 0x8359, known_panel(), known_drive());
        const int expected_count = int(sizeof expected_report / sizeof expected_report[0]);
        QCOMPARE(expected_count, 141);
        QCOMPARE(items.size(), expected_count);
        for (int i = 0; i < expected_count; ++i) {
            QCOMPARE(items[i].first, QString::fromUtf8(expected_report[i][0]));
            QCOMPARE(items[i].second, QString::fromUtf8(expected_report[i][1]));
        }
    }

    void fresh_stores_report_zeros_and_dashes() {
        const ReportItems items =
            build_report_items({}, 0xFFFF, make_panel_data(), make_drive_data());
        QCOMPARE(items.size(), 141);
        QCOMPARE(items[0], ReportItem());
        for (int i = 1; i <= 6; ++i)
            QVERIFY(items[i].second.isEmpty());
        QCOMPARE(value_of(items, "cabo_comunicacao"), QString("Nao detectado"));
        QCOMPARE(value_of(items, "painel_serial"), QString("------------"));
        QCOMPARE(value_of(items, "drive_serial"), QString("------------"));
        QCOMPARE(value_of(items, "drive_versao_fw"), QString("0.0"));
        QCOMPARE(value_of(items, "drive_motorizacao"), QString("KRT"));
        QCOMPARE(value_of(items, "drive_param_0x0D"), QString("0"));
    }

    void cable_kind_data() {
        QTest::addColumn<int>("product");
        QTest::addColumn<QString>("kind");
        QTest::newRow("user cable") << 0x8358 << "Usuario";
        QTest::newRow("service cable") << 0x8359 << "Assistencia";
        QTest::newRow("none") << 0xFFFF << "Nao detectado";
        QTest::newRow("other ftdi") << 0x6001 << "Nao detectado";
    }
    void cable_kind() {
        QFETCH(int, product);
        QFETCH(QString, kind);
        const ReportItems items =
            build_report_items({}, product, make_panel_data(), make_drive_data());
        QCOMPARE(value_of(items, "cabo_comunicacao"), kind);
    }

    void serial_validity_data() {
        QTest::addColumn<quint32>("first");
        QTest::addColumn<quint32>("second");
        QTest::addColumn<quint32>("digits");
        QTest::addColumn<QString>("reported");
        QTest::newRow("upper case") << 0x00414243u << 0x00585958u << 42u << "ABCXYX000042";
        QTest::newRow("lower case") << 0x00616263u << 0x00303132u << 999999u << "abc012999999";
        QTest::newRow("hyphen") << 0x00412D43u << 0x00585958u << 1u << "------------";
        QTest::newRow("seven digits") << 0x00414243u << 0x00585958u << 1000000u << "------------";
        QTest::newRow("accented") << 0x00C94243u << 0x00585958u << 1u << "------------";
        QTest::newRow("number zero") << 0x00414243u << 0x00585958u << 0u << "ABCXYX000000";
    }
    void serial_validity() {
        QFETCH(quint32, first);
        QFETCH(quint32, second);
        QFETCH(quint32, digits);
        QFETCH(QString, reported);
        DeviceData device = make_panel_data();
        device.params[1] = first;
        device.params[2] = second;
        device.params[3] = digits;
        const ReportItems items = build_report_items({}, 0, device, device);
        QCOMPARE(value_of(items, "painel_serial"), reported);
        QCOMPARE(value_of(items, "drive_serial"), reported);
    }

    void panel_rule_switches_at_15_and_31() {
        QCOMPARE(panel_param_text(8, 0x1FF), QString("255"));
        QCOMPARE(panel_param_text(14, 0x1FF), QString("255"));
        QCOMPARE(panel_param_text(15, 0x1FF), QString("511"));
        QCOMPARE(panel_param_text(30, 0xFFFFFFFF), QString("4294967295"));
        QCOMPARE(panel_param_text(31, 0x1FF), QString("255"));
        QCOMPARE(panel_param_text(44, 0x100), QString("0"));
    }

    void drive_rule_follows_the_parameter_types() {
        QCOMPARE(drive_item(44, 259), QString("3"));
        QCOMPARE(drive_item(9, 0x1FF), QString("255"));
        QCOMPARE(drive_item(21, static_cast<std::uint32_t>(-1)), QString("-1"));
        QCOMPARE(drive_item(42, static_cast<std::uint32_t>(-1)), QString("4294967295"));
        QCOMPARE(drive_item(41, f32_word(-0.00012345678f)), QString("-0.000123457"));
        QCOMPARE(drive_item(27, f32_word(1e-40f)), QString("9.99995e-41"));
        QCOMPARE(drive_item(13, 0), QString("0"));
    }

    void family_names() {
        const QStringList names{"KRT", "KRS",        "Dorvalis",  "KRT 071",
                                "TRV", "Indefinido", "Indefinido"};
        const std::uint32_t codes[] = {0, 1, 2, 3, 4, 5, 0x100};
        for (int i = 0; i < names.size(); ++i) {
            DeviceData drive = make_drive_data();
            drive.params[9] = codes[i];
            const ReportItems items = build_report_items({}, 0, make_panel_data(), drive);
            QCOMPARE(value_of(items, "drive_motorizacao"), names[i]);
        }
    }

    void query_starts_with_the_empty_item_and_escapes_everything_else() {
        ReportItems items{{"", ""}, {"nome", QString::fromUtf8("é+&=%#")}, {"a b", ""}};
        QCOMPARE(encode_report_query(items), QByteArray("=&nome=%C3%A9%2B%26%3D%25%23&a%20b="));
        items = build_report_items(known_customer(), 0x8358, known_panel(), known_drive());
        QVERIFY(
            encode_report_query(items).startsWith("=&nome=Jos%C3%A9%20da%20Silva&email=jose%2B"));
    }

    void url_carries_the_query_unchanged() {
        const ReportItems items{{"", ""}, {"nome", QString::fromUtf8("A+B&C=D %41 #x é 😀")}};
        const QUrl endpoint = report_endpoint();
        QCOMPARE(endpoint.scheme(), QString("http"));
        QCOMPARE(endpoint.path(), QString("/connect/lorvask.php"));
        QVERIFY(!endpoint.host().isEmpty());
        const QUrl url = report_url(items);
        QVERIFY(url.isValid());
        QCOMPARE(url.toEncoded(QUrl::RemoveFragment),
                 endpoint.toEncoded() + "?" + encode_report_query(items));
    }

    void a_form_decoder_gets_every_text_back() {
        const QStringList hostile{QString::fromUtf8("A+B & C=D"),
                                  "100%",
                                  "%41%zz",
                                  "#frag?x",
                                  QString::fromUtf8("ação ü € 😀"),
                                  " lead trail ",
                                  QString::fromUtf8("a\tb\nc\"'<>\\")};
        ReportItems items{{"", ""}};
        for (const QString &text : hostile)
            items.append({text, text});
        FormItems decoded;
        QCOMPARE(decode_form(encode_report_query(items).toStdString(), decoded), 0);
        QCOMPARE(int(decoded.size()), items.size());
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(QString::fromStdString(decoded[std::size_t(i)].first), items[i].first);
            QCOMPARE(QString::fromStdString(decoded[std::size_t(i)].second), items[i].second);
        }
    }
};

QTEST_GUILESS_MAIN(TestReportItems)
#include "tst_report_items.moc"
