#include "customer/field_checks.h"

#include <QtTest>

using namespace field_checks;

// The checks against texts whose verdict is known from outside this code: the tax authority's
// published examples, well-known public registrations and values worked out by hand.
class FieldChecksTest : public QObject {
    Q_OBJECT

private slots:
    void field_data();
    void field();
    void whole_form_data();
    void whole_form();
};

namespace {

QString arabic_indic(const QString &digits) {
    QString text;
    for (QChar c : digits)
        text.append(QChar(0x0660 + c.digitValue()));
    return text;
}

QHash<QString, bool (*)(const QString &)> checks() {
    return {{"name", validate_name}, {"email", validate_email}, {"phone", validate_phone},
            {"cep", validate_cep},   {"cpf", validate_cpf},     {"cnpj", validate_cnpj}};
}

} // namespace

void FieldChecksTest::field_data() {
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    const auto rows = [](const char *check, const QStringList &good, const QStringList &bad) {
        for (const QString &text : good)
            QTest::addRow("%s \"%s\"", check, qPrintable(text)) << check << text << true;
        for (const QString &text : bad)
            QTest::addRow("%s \"%s\"", check, qPrintable(text)) << check << text << false;
    };
    rows("name", {"  a  ", QString::fromUtf8("João Gonçalves")}, {"\t\n \r", ""});
    // The last label is letters only: none of the characters between "Z" and "a".
    rows("email", {"ana@loja.br", "ANA@LOJA.INFO", "a.b_c-d+e@mail.loja.com.br", "ana@loja..com"},
         {"ana@loja.c", "ana@loja.combr", "ana@loja.c_", "ana@loja.co[", "ana@loja.c`",
          "ana@loja.c0", "ana maria@loja.com", "@loja.com", "ana@.com", "ana.loja.com",
          "ana@b@loja.com", QString::fromUtf8("joão@loja.com")});
    rows("phone", {"11987654321", "1134567890", "1023456789", "99987654321"},
         {"0123456789", "2012345678", "11123456789", "119876543", "119876543210", "(11) 987654321",
          arabic_indic("11987654321")});
    rows("cep", {"01001000", "99999999"}, {"00100000", "0100100", "010010000", "01001-000"});
    QStringList same_digits;
    for (char d = '0'; d <= '9'; ++d)
        same_digits << QString(11, QLatin1Char(d));
    rows("cpf", {"12345678909", "52998224725", "11144477735"},
         QStringList{"12345678900", "12345678919", "21345678909", "1234567890", "123.456.789-09",
                     "1234567890A", arabic_indic("12345678909"),
                     QString::fromUtf8("1\xC2\xB2"
                                       "345678909")} +
             same_digits);
    rows("cnpj", {"11222333000181", "00000000000191", "33000167000101", "12ABC34501DE35"},
         {"11222333000180", "11222333000191", "12ABC34501DE36", "12ABD34501DE35", "12abc34501de35",
          "12ABC34501DE3A", QString::fromUtf8("12ÁBC34501DE35"), "00000000000000", "11111111111111",
          "12ABC34501DE" + arabic_indic("35"), "1122233300018", "11.222.333/0001-81"});
}

void FieldChecksTest::field() {
    QFETCH(QString, check);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(checks().value(check)(text), accepted);
}

void FieldChecksTest::whole_form_data() {
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("company");
    QTest::addColumn<bool>("accepted");
    // Name, e-mail, telephone, the mode's taxpayer number, CEP as the fields show them.
    const QStringList good{"  Ana   Souza ", " ana@loja.com.br ", "(11) 987654321",
                           "123.456.789-09", "01001-000"};
    const auto row = [&good](const char *name, int index, const QString &text, bool company,
                             bool accepted) {
        QStringList fields = good;
        if (index >= 0)
            fields[index] = text;
        QTest::newRow(name) << fields << company << accepted;
    };
    row("person, CPF", -1, {}, false, true);
    row("company, CPF", -1, {}, true, false);
    row("company, CNPJ", 3, "12.ABC.345/01DE-35", true, true);
    row("person, CNPJ", 3, "11.222.333/0001-81", false, false);
    row("company, bad CNPJ", 3, "11.222.333/0001-80", true, false);
    row("blank name", 0, "   ", false, false);
    row("bad e-mail", 1, "ana@loja", false, false);
    row("bad phone", 2, "(20) 12345678", false, false);
    row("bad CEP", 4, "00100-000", false, false);
}

void FieldChecksTest::whole_form() {
    QFETCH(QStringList, fields);
    QFETCH(bool, company);
    QFETCH(bool, accepted);
    QCOMPARE(validate_user_data(fields[0], fields[1], fields[2], fields[3], company, fields[4]),
             accepted);
}

QTEST_GUILESS_MAIN(FieldChecksTest)
#include "test_field_checks.moc"
