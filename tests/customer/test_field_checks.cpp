#include "customer/field_checks.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace field_checks;

// The checks against numbers whose verdict is known from outside this code: the tax authority's
// published examples, well-known public registrations and values worked out by hand.
class FieldChecksTest : public QObject {
    Q_OBJECT

private slots:
    void digits_only_strips_everything_else();
    void cnpj_characters_drop_only_punctuation();

    void name_data();
    void name();
    void email_data();
    void email();
    void phone_data();
    void phone();
    void cep_data();
    void cep();
    void cpf_data();
    void cpf();
    void cnpj_data();
    void cnpj();

    void whole_form_data();
    void whole_form();

    void random_text_never_breaks_a_check();
    void accepted_taxpayer_numbers_are_plain_ascii();
};

void FieldChecksTest::digits_only_strips_everything_else() {
    QCOMPARE(digits_only("(11) 98765-4321"), QString("11987654321"));
    QCOMPARE(digits_only("123.456.789-09"), QString("12345678909"));
    QCOMPARE(digits_only("12.ABC.345/01DE-35"), QString("123450135"));
    QCOMPARE(digits_only(" \t-./()"), QString());
    QCOMPARE(digits_only(QString()), QString());
}

void FieldChecksTest::cnpj_characters_drop_only_punctuation() {
    QCOMPARE(cnpj_characters("12.ABC.345/01DE-35"), QString("12ABC34501DE35"));
    QCOMPARE(cnpj_characters("11.222.333/0001-81"), QString("11222333000181"));
    QCOMPARE(cnpj_characters("12../-"), QString("12"));
    QCOMPARE(cnpj_characters("a b+c"), QString("a b+c"));
}

void FieldChecksTest::name_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("blanks only") << "   " << false;
    QTest::newRow("tabs and newlines") << "\t\n \r" << false;
    QTest::newRow("one letter in blanks") << "  a  " << true;
    QTest::newRow("accents") << QString::fromUtf8("João Gonçalves") << true;
    QTest::newRow("emoji") << QString::fromUtf8("\xF0\x9F\x98\x80") << true;
    QTest::newRow("control character") << QString(QChar(1)) << true;
}

void FieldChecksTest::name() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(validate_name(text), accepted);
}

void FieldChecksTest::email_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("two letters") << "ana@loja.br" << true;
    QTest::newRow("three letters") << "ana@loja.com" << true;
    QTest::newRow("four letters") << "ana@loja.info" << true;
    QTest::newRow("upper case") << "ANA@LOJA.COM.BR" << true;
    QTest::newRow("several labels") << "ana.silva+os@mail.loja.com.br" << true;
    QTest::newRow("two dots in domain") << "ana@loja..com" << true;
    QTest::newRow("signs in local part") << "a.b_c-d+e@x.org" << true;
    QTest::newRow("one letter") << "ana@loja.c" << false;
    QTest::newRow("five letters") << "ana@loja.combr" << false;
    QTest::newRow("letter and underscore") << "ana@loja.c_" << false;
    QTest::newRow("letter and bracket") << "ana@loja.co]" << false;
    QTest::newRow("backslash") << "ana@loja.c\\" << false;
    QTest::newRow("caret") << "ana@loja.c^" << false;
    QTest::newRow("grave accent") << "ana@loja.c`" << false;
    QTest::newRow("opening bracket") << "ana@loja.[c" << false;
    QTest::newRow("digit in last label") << "ana@loja.c0" << false;
    QTest::newRow("blank inside") << "ana maria@loja.com" << false;
    QTest::newRow("trailing blank") << "ana@loja.com " << false;
    QTest::newRow("empty local part") << "@loja.com" << false;
    QTest::newRow("nothing before last dot") << "ana@.com" << false;
    QTest::newRow("no at sign") << "ana.loja.com" << false;
    QTest::newRow("two at signs") << "ana@b@loja.com" << false;
    QTest::newRow("accented letter") << QString::fromUtf8("joão@loja.com") << false;
    QTest::newRow("empty") << QString() << false;
}

void FieldChecksTest::email() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(validate_email(text), accepted);
}

void FieldChecksTest::phone_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("mobile, 11 digits") << "11987654321" << true;
    QTest::newRow("landline, 10 digits") << "1134567890" << true;
    QTest::newRow("area code 10") << "1023456789" << true;
    QTest::newRow("area code 99") << "99987654321" << true;
    QTest::newRow("leading 0") << "0123456789" << false;
    QTest::newRow("area code with a 0") << "2012345678" << false;
    QTest::newRow("subscriber starts with 1") << "11123456789" << false;
    QTest::newRow("subscriber starts with 0") << "11023456789" << false;
    QTest::newRow("9 digits") << "119876543" << false;
    QTest::newRow("12 digits") << "119876543210" << false;
    QTest::newRow("with punctuation") << "(11) 987654321" << false;
    QTest::newRow("other script's digits")
        << QString::fromUtf8("\xD9\xA1\xD9\xA1\xD9\xA9\xD9\xA8\xD9\xA7\xD9\xA6\xD9\xA5\xD9\xA4\xD9"
                             "\xA3\xD9\xA2\xD9\xA1")
        << false;
    QTest::newRow("empty") << QString() << false;
}

void FieldChecksTest::phone() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(validate_phone(text), accepted);
}

void FieldChecksTest::cep_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Praça da Sé") << "01001000" << true;
    QTest::newRow("all nines") << "99999999" << true;
    QTest::newRow("Rio de Janeiro") << "20040002" << true;
    QTest::newRow("two leading zeros") << "00100000" << false;
    QTest::newRow("all zeros") << "00000000" << false;
    QTest::newRow("7 digits") << "0100100" << false;
    QTest::newRow("9 digits") << "010010000" << false;
    QTest::newRow("with hyphen") << "01001-000" << false;
    QTest::newRow("empty") << QString() << false;
}

void FieldChecksTest::cep() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(validate_cep(text), accepted);
}

void FieldChecksTest::cpf_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("123456789-09") << "12345678909" << true;
    QTest::newRow("529.982.247-25") << "52998224725" << true;
    QTest::newRow("111.444.777-35") << "11144477735" << true;
    QTest::newRow("last digit wrong") << "12345678900" << false;
    QTest::newRow("first check digit wrong") << "12345678919" << false;
    QTest::newRow("digits swapped") << "21345678909" << false;
    QTest::newRow("10 digits") << "1234567890" << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("with punctuation") << "123.456.789-09" << false;
    QTest::newRow("letter inside") << "1234567890A" << false;
    for (char d = '0'; d <= '9'; ++d)
        QTest::newRow(qPrintable(QString("all %1").arg(d))) << QString(11, QLatin1Char(d)) << false;
    // Arabic-Indic digits spelling 123456789-09 are not a CPF as issued.
    QString arabic;
    for (QChar c : QString("12345678909"))
        arabic.append(QChar(0x0660 + c.digitValue()));
    QTest::newRow("other script's digits") << arabic << false;
}

void FieldChecksTest::cpf() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(validate_cpf(text), accepted);
}

void FieldChecksTest::cnpj_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("11.222.333/0001-81") << "11222333000181" << true;
    QTest::newRow("Banco do Brasil") << "00000000000191" << true;
    QTest::newRow("Petrobras") << "33000167000101" << true;
    QTest::newRow("published alphanumeric") << "12ABC34501DE35" << true;
    QTest::newRow("last digit wrong") << "11222333000180" << false;
    QTest::newRow("first check digit wrong") << "11222333000191" << false;
    QTest::newRow("alphanumeric, last digit wrong") << "12ABC34501DE36" << false;
    QTest::newRow("alphanumeric, letter changed") << "12ABD34501DE35" << false;
    QTest::newRow("alphanumeric in lower case") << "12abc34501de35" << false;
    QTest::newRow("letter in check digits") << "12ABC34501DE3A" << false;
    QTest::newRow("accented letter") << QString::fromUtf8("12ÁBC34501DE35") << false;
    QTest::newRow("fourteen zeros") << "00000000000000" << false;
    QTest::newRow("fourteen ones") << "11111111111111" << false;
    QTest::newRow("13 digits") << "1122233300018" << false;
    QTest::newRow("with punctuation") << "11.222.333/0001-81" << false;
    QTest::newRow("empty") << QString() << false;
}

void FieldChecksTest::cnpj() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(validate_cnpj(text), accepted);
}

void FieldChecksTest::whole_form_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("cpf");
    QTest::addColumn<QString>("cnpj");
    QTest::addColumn<QString>("cep");
    QTest::addColumn<bool>("accepted");
    const QString good_name = "  Ana   Souza ";
    const QString mail = " ana@loja.com.br ";
    const QString good_phone = "(11) 987654321";
    const QString good_cpf = "123.456.789-09";
    const QString good_cnpj = "12.ABC.345/01DE-35";
    const QString good_cep = "01001-000";
    QTest::newRow("all good, CPF")
        << good_name << mail << good_phone << good_cpf << "../-" << good_cep << true;
    QTest::newRow("CPF with bad CNPJ")
        << good_name << mail << good_phone << good_cpf << "11.222.333/0001-80" << good_cep << true;
    QTest::newRow("CNPJ, empty CPF")
        << good_name << mail << good_phone << "..-" << good_cnpj << good_cep << true;
    QTest::newRow("digit CNPJ, bad CPF") << good_name << mail << good_phone << "123.456.789-00"
                                         << "11.222.333/0001-81" << good_cep << true;
    QTest::newRow("both bad") << good_name << mail << good_phone << "123.456.789-00"
                              << "11.222.333/0001-80" << good_cep << false;
    QTest::newRow("both empty") << good_name << mail << good_phone << "..-"
                                << "../-" << good_cep << false;
    QTest::newRow("blank name") << "   " << mail << good_phone << good_cpf << good_cnpj << good_cep
                                << false;
    QTest::newRow("bad e-mail") << good_name << "ana@loja" << good_phone << good_cpf << good_cnpj
                                << good_cep << false;
    QTest::newRow("bad phone") << good_name << mail << "(20) 12345678" << good_cpf << good_cnpj
                               << good_cep << false;
    QTest::newRow("half phone") << good_name << mail << "(11) 9876" << good_cpf << good_cnpj
                                << good_cep << false;
    QTest::newRow("bad CEP") << good_name << mail << good_phone << good_cpf << good_cnpj
                             << "00100-000" << false;
    QTest::newRow("empty CEP") << good_name << mail << good_phone << good_cpf << good_cnpj << "-"
                               << false;
}

void FieldChecksTest::whole_form() {
    QFETCH(QString, name);
    QFETCH(QString, email);
    QFETCH(QString, phone);
    QFETCH(QString, cpf);
    QFETCH(QString, cnpj);
    QFETCH(QString, cep);
    QFETCH(bool, accepted);
    QCOMPARE(validate_user_data(name, email, phone, cpf, cnpj, cep), accepted);
}

// Random UTF-16, lone surrogates and control characters included, at the lengths the fields allow.
void FieldChecksTest::random_text_never_breaks_a_check() {
    QRandomGenerator random(20260701);
    for (int round = 0; round < 5000; ++round) {
        QString text;
        const int length = static_cast<int>(random.bounded(260));
        for (int i = 0; i < length; ++i) {
            const bool narrow = random.bounded(4) != 0;
            text.append(QChar(
                static_cast<ushort>(narrow ? random.bounded(0x80) : random.bounded(0x10000))));
        }
        validate_name(text);
        validate_email(text);
        validate_phone(digits_only(text));
        validate_cep(digits_only(text));
        validate_cpf(digits_only(text));
        validate_cnpj(cnpj_characters(text));
        validate_user_data(text, text, text, text, text, text);
        for (QChar c : digits_only(text))
            QVERIFY(c.isDigit());
    }
}

namespace {

// Text of length characters drawn from pool, the first plain characters more often than the rest.
QString draw(QRandomGenerator &random, const QString &pool, int plain, int length) {
    QString text;
    for (int i = 0; i < length; ++i) {
        const int range = random.bounded(8) != 0 ? plain : pool.size();
        text.append(pool.at(static_cast<int>(random.bounded(range))));
    }
    return text;
}

} // namespace

// Whatever the input, an accepted CPF is 11 ASCII digits and an accepted CNPJ 12 upper-case
// letters or digits followed by two digits.
void FieldChecksTest::accepted_taxpayer_numbers_are_plain_ascii() {
    QRandomGenerator random(4711);
    const QString cnpj_pool =
        QString::fromUtf8("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZaz\xC3\x89\xD9\xA3\xC2\xB2 ");
    const QString cpf_pool = QString::fromUtf8("0123456789\xD9\xA3\xDB\xB5\xC2\xB2x");
    int accepted_cnpj = 0;
    int accepted_cpf = 0;
    for (int round = 0; round < 100000; ++round) {
        const QString drawn_cnpj = draw(random, cnpj_pool, 36, 14);
        if (validate_cnpj(drawn_cnpj)) {
            ++accepted_cnpj;
            QVERIFY2(QRegularExpression("^[0-9A-Z]{12}[0-9]{2}$").match(drawn_cnpj).hasMatch(),
                     qPrintable(drawn_cnpj));
        }
        const QString drawn_cpf = draw(random, cpf_pool, 10, 11);
        if (validate_cpf(drawn_cpf)) {
            ++accepted_cpf;
            QVERIFY2(QRegularExpression("^[0-9]{11}$").match(drawn_cpf).hasMatch(),
                     qPrintable(drawn_cpf));
        }
    }
    QVERIFY(accepted_cnpj > 0);
    QVERIFY(accepted_cpf > 0);
}

QTEST_GUILESS_MAIN(FieldChecksTest)
#include "test_field_checks.moc"
