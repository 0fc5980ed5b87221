#include "chair/device_data.h"
#include "report/report_items.h"
#include "report/report_request.h"

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
    const std::uint32_t words[] = {0x00414243, 0x00313233, 42, 0x0103, 0x020A, 0xDEAD, 0xBEEF};
    for (std::uint8_t k = 1; k <= 44; ++k)
        panel.params[k] = k <= 7 ? words[k - 1] : 0xABCD0000u + k;
    for (auto &[number, value] : panel.events)
        value = static_cast<std::uint8_t>(number * 7);
    return panel;
}

DeviceData known_drive() {
    DeviceData drive = make_drive_data();
    // The top byte of parameter 1 is not part of the serial; singles are set below.
    const std::uint32_t words[] = {
        0x7F6B7274, 0x00303731, 123456, 0x0204, 0x0201, 1,          2,          0xFFFFFFFF, 3,
        0,          7,          0x105,  0,      0,      0xFFFFFFFB, 0x80000000, 0x80000000, 100,
        200,        300,        1000,   22000,  23000,  24000,      25000,      26000,      0,
        0,          0,          0,      0,      0,      0,          0,          0,          0,
        0,          0,          0,      0,      0,      0xFFFF,     43,         259};
    for (std::uint8_t k = 1; k <= 44; ++k)
        drive.params[k] = words[k - 1];
    // Parameters 13 and 14, then 27 to 41.
    const float singles[] = {0.0165f, 60,   1e-5f, 0.009f, 1234567, -2.5f, 3.14159265f, 1e10f, 1.5f,
                             2,       2.5f, 3,     3.5f,   4,       4.5f,  5,           5.5f};
    for (int i = 0; i < 17; ++i)
        drive.params[static_cast<std::uint8_t>(i < 2 ? 13 + i : 25 + i)] = f32_word(singles[i]);
    for (auto &[number, value] : drive.events)
        value = static_cast<std::uint8_t>(number * 3 + 1);
    return drive;
}

// Written out from the report's layout, not from the builder: key=value items split by '|' and
// line ends.
const char *const expected_report = R"(
=|nome=José da Silva|email=jose+oficina@exemplo.com.br|telefone=(11) 987654321|cep=01310-100
cpf=529.982.247-25|cnpj=|cabo_comunicacao=Assistencia|painel_serial=ABC123000042
painel_versao_fw=2.10|painel_versao_hw=1.3|painel_event_0x01=7|painel_event_0x02=14
painel_event_0x03=21|painel_event_0x04=28|painel_event_0x05=35|painel_event_0x06=42
painel_event_0x07=49|painel_event_0x08=56|painel_event_0x09=63|painel_event_0x0A=70
painel_event_0x0B=77|painel_event_0x0C=84|painel_event_0x0D=91|painel_event_0x0E=98
painel_event_0x0F=105|painel_event_0x10=112|painel_event_0x11=119|painel_event_0x12=126
painel_event_0x13=133|painel_event_0x14=140|painel_event_0x21=231|painel_event_0x22=238
painel_param_0x08=8|painel_param_0x09=9|painel_param_0x0A=10|painel_param_0x0B=11
painel_param_0x0C=12|painel_param_0x0D=13|painel_param_0x0E=14|painel_param_0x0F=2882338831
painel_param_0x10=2882338832|painel_param_0x11=2882338833|painel_param_0x12=2882338834
painel_param_0x13=2882338835|painel_param_0x14=2882338836|painel_param_0x15=2882338837
painel_param_0x16=2882338838|painel_param_0x17=2882338839|painel_param_0x18=2882338840
painel_param_0x19=2882338841|painel_param_0x1A=2882338842|painel_param_0x1B=2882338843
painel_param_0x1C=2882338844|painel_param_0x1D=2882338845|painel_param_0x1E=2882338846
painel_param_0x1F=31|painel_param_0x20=32|painel_param_0x21=33|painel_param_0x22=34
painel_param_0x23=35|painel_param_0x24=36|painel_param_0x25=37|painel_param_0x26=38
painel_param_0x27=39|painel_param_0x28=40|painel_param_0x29=41|painel_param_0x2A=42
painel_param_0x2B=43|painel_param_0x2C=44|drive_serial=krt071123456|drive_versao_fw=2.1
drive_versao_hw=2.4|drive_motorizacao=KRT 071|drive_event_0x01=4|drive_event_0x02=7
drive_event_0x03=10|drive_event_0x04=13|drive_event_0x05=16|drive_event_0x06=19|drive_event_0x07=22
drive_event_0x08=25|drive_event_0x09=28|drive_event_0x0A=31|drive_event_0x0B=34|drive_event_0x0C=37
drive_event_0x0D=40|drive_event_0x0E=43|drive_event_0x0F=46|drive_event_0x10=49|drive_event_0x11=52
drive_event_0x12=55|drive_event_0x13=58|drive_event_0x14=61|drive_event_0x15=64|drive_event_0x16=67
drive_event_0x21=100|drive_event_0x22=103|drive_event_0x23=106|drive_event_0x24=109
drive_event_0x25=112|drive_event_0x31=148|drive_event_0x32=151|drive_event_0x33=154
drive_param_0x08=4294967295|drive_param_0x09=3|drive_param_0x0A=0|drive_param_0x0B=7
drive_param_0x0C=5|drive_param_0x0D=0.0165|drive_param_0x0E=60|drive_param_0x0F=-5
drive_param_0x10=2147483648|drive_param_0x11=-2147483648|drive_param_0x12=100|drive_param_0x13=200
drive_param_0x14=300|drive_param_0x15=1000|drive_param_0x16=22000|drive_param_0x17=23000
drive_param_0x18=24000|drive_param_0x19=25000|drive_param_0x1A=26000|drive_param_0x1B=1e-05
drive_param_0x1C=0.009|drive_param_0x1D=1.23457e+06|drive_param_0x1E=-2.5|drive_param_0x1F=3.14159
drive_param_0x20=1e+10|drive_param_0x21=1.5|drive_param_0x22=2|drive_param_0x23=2.5
drive_param_0x24=3|drive_param_0x25=3.5|drive_param_0x26=4|drive_param_0x27=4.5|drive_param_0x28=5
drive_param_0x29=5.5|drive_param_0x2A=65535|drive_param_0x2B=43|drive_param_0x2C=3)";

QString value_of(const ReportItems &items, const QString &key) {
    const auto *const found = std::find_if(
        items.begin(), items.end(), [&key](const ReportItem &item) { return item.first == key; });
    return found == items.end() ? QStringLiteral("<missing>") : found->second;
}

} // namespace

class TestReportItems : public QObject {
    Q_OBJECT

private slots:
    void known_chair_and_customer_give_the_written_out_report() {
        const ReportCustomer customer{QString::fromUtf8("José da Silva"),
                                      "jose+oficina@exemplo.com.br",
                                      "(11) 987654321",
                                      "01310-100",
                                      "529.982.247-25",
                                      ""};
        const ReportItems items =
            build_report_items(customer, 0x8359, known_panel(), known_drive());
        QStringList expected =
            QString::fromUtf8(expected_report).split(QRegularExpression("[|\\n]"));
        expected.removeAll(QString());
        QCOMPARE(expected.size(), 141);
        QCOMPARE(items.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const int cut = expected[i].indexOf('=');
            QCOMPARE(items[i].first, expected[i].left(cut));
            QCOMPARE(items[i].second, expected[i].mid(cut + 1));
        }
    }

    void fresh_stores_report_zeros_and_dashes() {
        const ReportItems items =
            build_report_items({}, 0xFFFF, make_panel_data(), make_drive_data());
        QCOMPARE(items[0], ReportItem());
        for (int i = 1; i <= 6; ++i)
            QVERIFY(items[i].second.isEmpty());
        const char *const expected[][2] = {
            {"cabo_comunicacao", "Nao detectado"}, {"painel_serial", "------------"},
            {"drive_serial", "------------"},      {"drive_versao_fw", "0.0"},
            {"drive_motorizacao", "KRT"},          {"drive_param_0x0D", "0"}};
        for (const auto &[key, value] : expected)
            QCOMPARE(value_of(items, key), QString(value));
    }

    // Cable kinds, drive value types at their edges, family names and serials not in the list
    // above. Both devices share the serial rule.
    void single_values() {
        using Words = std::vector<std::pair<std::uint8_t, std::uint32_t>>;
        const std::tuple<int, Words, const char *, const char *> rows[] = {
            {0x8358, {}, "cabo_comunicacao", "Usuario"},
            {0x6001, {}, "cabo_comunicacao", "Nao detectado"},
            {0, {{9, 0x1FF}}, "drive_param_0x09", "255"},
            {0, {{21, 0xFFFFFFFF}}, "drive_param_0x15", "-1"},
            {0, {{42, 0xFFFFFFFF}}, "drive_param_0x2A", "4294967295"},
            {0, {{41, f32_word(-0.00012345678f)}}, "drive_param_0x29", "-0.000123457"},
            {0, {{27, f32_word(1e-40f)}}, "drive_param_0x1B", "9.99995e-41"},
            {0, {{9, 1}}, "drive_motorizacao", "KRS"},
            {0, {{9, 2}}, "drive_motorizacao", "Dorvalis"},
            {0, {{9, 4}}, "drive_motorizacao", "TRV"},
            {0, {{9, 5}}, "drive_motorizacao", "Indefinido"},
            {0, {{9, 0x100}}, "drive_motorizacao", "Indefinido"},
            {0, {{1, 0x00616263}, {2, 0x00303132}, {3, 999999}}, "drive_serial", "abc012999999"},
            {0, {{1, 0x00412D43}, {2, 0x00585958}, {3, 1}}, "drive_serial", "------------"},
            {0, {{1, 0x00414243}, {2, 0x00585958}, {3, 1000000}}, "drive_serial", "------------"},
            {0, {{1, 0x00C94243}, {2, 0x00585958}, {3, 1}}, "drive_serial", "------------"},
            {0, {{1, 0x00414243}, {2, 0x00585958}, {3, 0}}, "drive_serial", "ABCXYX000000"}};
        for (const auto &[product, words, key, text] : rows) {
            DeviceData drive = make_drive_data();
            for (const auto &[number, word] : words)
                drive.params[number] = word;
            const ReportItems items = build_report_items({}, product, make_panel_data(), drive);
            QCOMPARE(value_of(items, key), QString(text));
        }
    }

    void query_escapes_everything_but_unreserved() {
        const ReportItems items{{"", ""}, {"nome", QString::fromUtf8("é+&=%#")}, {"a b", ""}};
        QCOMPARE(encode_report_query(items), QByteArray("=&nome=%C3%A9%2B%26%3D%25%23&a%20b="));
    }
};

QTEST_GUILESS_MAIN(TestReportItems)
#include "tst_report_items.moc"
