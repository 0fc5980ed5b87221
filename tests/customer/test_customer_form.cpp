#include "customer_window.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>

using namespace customer_test;

// The customer form in the real window, offscreen, against the real settings store in this
// test's own home.
class CustomerFormTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(has_own_home(), "run through CTest, which gives it a home"); }
    void init() { clear_store(); }

    void first_run_writes_the_seven_keys();
    void store_lives_under_the_tool_identity();
    void stored_values_fill_the_form_unchecked();

    void name_is_written_back_simplified();
    void rejected_email_turns_red_and_keeps_the_store();
    void phone_is_stored_with_its_mask();
    void cpf_is_checked_on_its_digits();
    void alphanumeric_cnpj_is_stored_upper_case();
    void cep_is_written_back();
    void half_filled_masked_fields_store_nothing();

    void company_mode_survives_a_restart();
    void unexpected_type_opens_company_mode();
    void switching_mode_keeps_the_hidden_field();
    void clicking_the_checked_radio_rewrites_the_type();

    void whole_form_reads_what_the_fields_show();
};

void CustomerFormTest::first_run_writes_the_seven_keys() {
    auto window = open_window();
    use_tool_identity();
    QSettings store;
    QCOMPARE(store.allKeys().size(), 7);
    for (const char *key : {"Nome", "Email", "Telefone", "CPF", "CNPJ", "CEP"}) {
        QVERIFY2(store.contains(QLatin1String(key)), key);
        QCOMPARE(store.value(QLatin1String(key)).toString(), QString());
    }
    QCOMPARE(store.value("Tipo").toString(), QStringLiteral("Pessoa Fisica"));

    QVERIFY(find<QRadioButton>(*window, "radio_user")->isChecked());
    QVERIFY(!find<QRadioButton>(*window, "radio_company")->isChecked());
    QVERIFY(field(*window, "user_cpf")->isVisible());
    QVERIFY(!field(*window, "user_cnpj")->isVisible());
    QCOMPARE(find<QLabel>(*window, "label_name")->text(), QStringLiteral("Nome"));
    QCOMPARE(find<QLabel>(*window, "label_cpf_cnpj")->text(), QStringLiteral("CPF"));
    QCOMPARE(field(*window, "user_name")->text(), QString());
    QCOMPARE(field(*window, "user_email")->text(), QString());
    for (const char *name :
         {"user_name", "user_email", "user_phone", "user_cpf", "user_cnpj", "user_cep"}) {
        // An empty masked field still shows its punctuation.
        QCOMPARE(field(*window, name)->text().count(QRegularExpression("[0-9A-Za-z]")), 0);
        QCOMPARE(field(*window, name)->styleSheet(), QString());
    }
    QCOMPARE(Access::customer_type(*window), QStringLiteral("Pessoa Fisica"));
    for (const char *name : {"info_motor", "info_serial", "info_versions"})
        QCOMPARE(find<QLabel>(*window, name)->styleSheet(),
                 QStringLiteral("QLabel { font-weight: bold; }"));
}

// Another identity set on the application meanwhile must not move the tool's store.
void CustomerFormTest::store_lives_under_the_tool_identity() {
    QCoreApplication::setOrganizationName(QStringLiteral("Outra"));
    QCoreApplication::setApplicationName(QStringLiteral("Outro programa"));
    auto window = open_window();
    QCoreApplication::setOrganizationName(QStringLiteral("Outra"));
    type_and_enter(field(*window, "user_name"), QStringLiteral("Ana"));

    const QString file = QDir(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")))
                             .filePath(QStringLiteral("Veltora Ltda./Veltora Zazurad - "
                                                      "Motorização.conf"));
    QVERIFY2(QFile::exists(file), qPrintable(file));
    QCOMPARE(stored("Nome").toString(), QStringLiteral("Ana"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.0"));
    QCOMPARE(QCoreApplication::organizationDomain(), QStringLiteral("veltora.com.br"));
}

void CustomerFormTest::stored_values_fill_the_form_unchecked() {
    store_value("Nome", QStringLiteral("Oficina São João"));
    store_value("Email", QStringLiteral("nao-e-email"));
    store_value("Telefone", QStringLiteral("(11) 987654321"));
    store_value("CPF", QStringLiteral("123.456.789-09"));
    store_value("CNPJ", QStringLiteral("12.ABC.345/01DE-35"));
    store_value("CEP", QStringLiteral("01001-000"));
    store_value("Tipo", QStringLiteral("Pessoa Fisica"));
    auto window = open_window();

    QCOMPARE(field(*window, "user_name")->text(), QStringLiteral("Oficina São João"));
    QCOMPARE(field(*window, "user_email")->text(), QStringLiteral("nao-e-email"));
    QCOMPARE(field(*window, "user_email")->styleSheet(), QString());
    QCOMPARE(field(*window, "user_phone")->text(), QStringLiteral("(11) 987654321"));
    QCOMPARE(field(*window, "user_cpf")->text(), QStringLiteral("123.456.789-09"));
    QCOMPARE(field(*window, "user_cnpj")->text(), QStringLiteral("12.ABC.345/01DE-35"));
    QCOMPARE(field(*window, "user_cep")->text(), QStringLiteral("01001-000"));
    QCOMPARE(Access::customer_name(*window), QStringLiteral("Oficina São João"));
    QCOMPARE(Access::customer_email(*window), QStringLiteral("nao-e-email"));
    QCOMPARE(Access::customer_phone(*window), QStringLiteral("(11) 987654321"));
    QCOMPARE(Access::customer_cpf(*window), QStringLiteral("123.456.789-09"));
    QCOMPARE(Access::customer_cnpj(*window), QStringLiteral("12.ABC.345/01DE-35"));
    QCOMPARE(Access::customer_cep(*window), QStringLiteral("01001-000"));
}

void CustomerFormTest::name_is_written_back_simplified() {
    auto window = open_window();
    QLineEdit *name = field(*window, "user_name");
    type_and_enter(name, QStringLiteral("  Ana \t  Maria   Souza "));
    QCOMPARE(name->text(), QStringLiteral("Ana Maria Souza"));
    QCOMPARE(Access::customer_name(*window), QStringLiteral("Ana Maria Souza"));
    QCOMPARE(stored("Nome").toString(), QStringLiteral("Ana Maria Souza"));
    QCOMPARE(name->styleSheet(), QString());

    type_and_enter(name, QStringLiteral("    "));
    QCOMPARE(name->text(), QString());
    QCOMPARE(name->styleSheet(), red_style());
    QCOMPARE(Access::customer_name(*window), QStringLiteral("Ana Maria Souza"));
    QCOMPARE(stored("Nome").toString(), QStringLiteral("Ana Maria Souza"));
}

void CustomerFormTest::rejected_email_turns_red_and_keeps_the_store() {
    auto window = open_window();
    QLineEdit *email = field(*window, "user_email");
    type_and_enter(email, QStringLiteral("ana@loja.com.br"));
    QCOMPARE(stored("Email").toString(), QStringLiteral("ana@loja.com.br"));

    type_and_enter(email, QStringLiteral("  ana  @loja  "));
    QCOMPARE(email->styleSheet(), red_style());
    QCOMPARE(email->text(), QStringLiteral("ana @loja"));
    QCOMPARE(Access::customer_email(*window), QStringLiteral("ana@loja.com.br"));
    QCOMPARE(stored("Email").toString(), QStringLiteral("ana@loja.com.br"));

    type_and_enter(email, QStringLiteral(" ANA@OFICINA.NET "));
    QCOMPARE(email->styleSheet(), QString());
    QCOMPARE(email->text(), QStringLiteral("ANA@OFICINA.NET"));
    QCOMPARE(Access::customer_email(*window), QStringLiteral("ANA@OFICINA.NET"));
    QCOMPARE(stored("Email").toString(), QStringLiteral("ANA@OFICINA.NET"));
}

void CustomerFormTest::phone_is_stored_with_its_mask() {
    auto window = open_window();
    QLineEdit *phone = field(*window, "user_phone");
    type_and_enter(phone, QStringLiteral("21987654321"));
    QCOMPARE(stored("Telefone").toString(), QStringLiteral("(21) 987654321"));
    QCOMPARE(Access::customer_phone(*window), QStringLiteral("(21) 987654321"));
    for (const QString &digits : {QStringLiteral("20987654321"), QStringLiteral("11123456789"),
                                  QStringLiteral("01987654321")}) {
        type_and_enter(phone, digits);
        QCOMPARE(phone->styleSheet(), red_style());
        QCOMPARE(Access::customer_phone(*window), QStringLiteral("(21) 987654321"));
        QCOMPARE(stored("Telefone").toString(), QStringLiteral("(21) 987654321"));
    }
    type_and_enter(phone, QStringLiteral("2133334444"));
    QCOMPARE(phone->styleSheet(), QString());
    QCOMPARE(stored("Telefone").toString(), QStringLiteral("(21) 33334444"));
}

void CustomerFormTest::cpf_is_checked_on_its_digits() {
    auto window = open_window();
    QLineEdit *cpf = field(*window, "user_cpf");
    type_and_enter(cpf, QStringLiteral("12345678909"));
    QCOMPARE(stored("CPF").toString(), QStringLiteral("123.456.789-09"));
    QCOMPARE(cpf->styleSheet(), QString());

    type_and_enter(cpf, QStringLiteral("11111111111"));
    QCOMPARE(cpf->styleSheet(), red_style());
    QCOMPARE(cpf->text(), QStringLiteral("111.111.111-11"));
    type_and_enter(cpf, QStringLiteral("12345678900"));
    QCOMPARE(cpf->styleSheet(), red_style());
    QCOMPARE(stored("CPF").toString(), QStringLiteral("123.456.789-09"));
    QCOMPARE(Access::customer_cpf(*window), QStringLiteral("123.456.789-09"));
}

void CustomerFormTest::alphanumeric_cnpj_is_stored_upper_case() {
    auto window = open_window();
    find<QRadioButton>(*window, "radio_company")->click();
    QLineEdit *cnpj = field(*window, "user_cnpj");
    type_and_enter(cnpj, QStringLiteral("12abc34501de35"));
    QCOMPARE(cnpj->styleSheet(), QString());
    QCOMPARE(stored("CNPJ").toString(), QStringLiteral("12.ABC.345/01DE-35"));
    QCOMPARE(Access::customer_cnpj(*window), QStringLiteral("12.ABC.345/01DE-35"));

    type_and_enter(cnpj, QStringLiteral("11222333000181"));
    QCOMPARE(stored("CNPJ").toString(), QStringLiteral("11.222.333/0001-81"));

    for (const QString &bad :
         {QStringLiteral("12ABC34501DE36"), QStringLiteral("00000000000000")}) {
        type_and_enter(cnpj, bad);
        QCOMPARE(cnpj->styleSheet(), red_style());
        QCOMPARE(stored("CNPJ").toString(), QStringLiteral("11.222.333/0001-81"));
    }
}

void CustomerFormTest::cep_is_written_back() {
    auto window = open_window();
    QLineEdit *cep = field(*window, "user_cep");
    type_and_enter(cep, QStringLiteral("01001000"));
    QCOMPARE(cep->text(), QStringLiteral("01001-000"));
    QCOMPARE(stored("CEP").toString(), QStringLiteral("01001-000"));
    QCOMPARE(Access::customer_cep(*window), QStringLiteral("01001-000"));

    type_and_enter(cep, QStringLiteral("00100000"));
    QCOMPARE(cep->styleSheet(), red_style());
    QCOMPARE(cep->text(), QStringLiteral("00100-000"));
    QCOMPARE(stored("CEP").toString(), QStringLiteral("01001-000"));
}

// A masked field that is not full reports no end of editing, by Return or by leaving it.
void CustomerFormTest::half_filled_masked_fields_store_nothing() {
    auto window = open_window();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    const struct {
        const char *name;
        const char *key;
        QString keys;
    } cases[] = {
        {"user_phone", "Telefone", QStringLiteral("119876")},
        {"user_cpf", "CPF", QStringLiteral("1234567890")},
        {"user_cep", "CEP", QStringLiteral("0100100")},
    };
    for (const auto &c : cases) {
        QLineEdit *edit = field(*window, c.name);
        edit->setFocus();
        type_and_enter(edit, c.keys);
        field(*window, "user_name")->setFocus();
        QCoreApplication::processEvents();
        QCOMPARE(stored(c.key).toString(), QString());
        QCOMPARE(edit->styleSheet(), QString());
    }
    find<QRadioButton>(*window, "radio_company")->click();
    type_and_enter(field(*window, "user_cnpj"), QStringLiteral("12ABC34501DE3"));
    QCOMPARE(stored("CNPJ").toString(), QString());
    QCOMPARE(Access::customer_cnpj(*window), QString());

    // Once full, leaving the field is enough.
    QLineEdit *cep = field(*window, "user_cep");
    cep->setFocus();
    QTest::keyClicks(cep, QStringLiteral("0"));
    field(*window, "user_name")->setFocus();
    QCOMPARE(stored("CEP").toString(), QStringLiteral("01001-000"));
}

void CustomerFormTest::company_mode_survives_a_restart() {
    {
        auto window = open_window();
        find<QRadioButton>(*window, "radio_company")->click();
        QCOMPARE(stored("Tipo").toString(), QStringLiteral("Pessoa Juridica"));
        QCOMPARE(Access::customer_type(*window), QStringLiteral("Pessoa Juridica"));
        QVERIFY(!field(*window, "user_cpf")->isVisible());
        QVERIFY(field(*window, "user_cnpj")->isVisible());
        QCOMPARE(find<QLabel>(*window, "label_name")->text(), QStringLiteral("Razão Social"));
        QCOMPARE(find<QLabel>(*window, "label_cpf_cnpj")->text(), QStringLiteral("CNPJ"));
    }
    auto window = open_window();
    QVERIFY(find<QRadioButton>(*window, "radio_company")->isChecked());
    QVERIFY(!find<QRadioButton>(*window, "radio_user")->isChecked());
    QVERIFY(field(*window, "user_cnpj")->isVisible());
    QVERIFY(!field(*window, "user_cpf")->isVisible());
    QCOMPARE(find<QLabel>(*window, "label_name")->text(), QStringLiteral("Razão Social"));
    QCOMPARE(find<QLabel>(*window, "label_cpf_cnpj")->text(), QStringLiteral("CNPJ"));
}

void CustomerFormTest::unexpected_type_opens_company_mode() {
    for (const QString &type : {QStringLiteral("Empresa"), QStringLiteral("pessoa fisica"),
                                QStringLiteral("Pessoa Física"), QString()}) {
        store_value("Tipo", type);
        auto window = open_window();
        QVERIFY2(find<QRadioButton>(*window, "radio_company")->isChecked(), qPrintable(type));
        QVERIFY(field(*window, "user_cnpj")->isVisible());
        QCOMPARE(Access::customer_type(*window), type);
        QCOMPARE(stored("Tipo").toString(), type);
    }
}

void CustomerFormTest::switching_mode_keeps_the_hidden_field() {
    store_value("CPF", QStringLiteral("123.456.789-09"));
    auto window = open_window();
    auto *company = find<QRadioButton>(*window, "radio_company");
    auto *person = find<QRadioButton>(*window, "radio_user");
    company->click();
    type_and_enter(field(*window, "user_cnpj"), QStringLiteral("11222333000181"));
    QCOMPARE(field(*window, "user_cpf")->text(), QStringLiteral("123.456.789-09"));

    person->click();
    QCOMPARE(stored("Tipo").toString(), QStringLiteral("Pessoa Fisica"));
    QCOMPARE(find<QLabel>(*window, "label_name")->text(), QStringLiteral("Nome"));
    QCOMPARE(field(*window, "user_cnpj")->text(), QStringLiteral("11.222.333/0001-81"));
    QCOMPARE(stored("CNPJ").toString(), QStringLiteral("11.222.333/0001-81"));
    QCOMPARE(stored("CPF").toString(), QStringLiteral("123.456.789-09"));
    QCOMPARE(Access::customer_cnpj(*window), QStringLiteral("11.222.333/0001-81"));
}

void CustomerFormTest::clicking_the_checked_radio_rewrites_the_type() {
    auto window = open_window();
    QLineEdit *email = field(*window, "user_email");
    type_and_enter(email, QStringLiteral("x"));
    store_value("Tipo", QStringLiteral("sobrescrever"));
    find<QRadioButton>(*window, "radio_user")->click();
    QVERIFY(find<QRadioButton>(*window, "radio_user")->isChecked());
    QCOMPARE(stored("Tipo").toString(), QStringLiteral("Pessoa Fisica"));
    QCOMPARE(email->styleSheet(), red_style());
    QVERIFY(field(*window, "user_cpf")->isVisible());
}

// The send button's check sees the fields as they are, hidden ones included, not the store.
void CustomerFormTest::whole_form_reads_what_the_fields_show() {
    auto window = open_window();
    type_and_enter(field(*window, "user_name"), QStringLiteral("Ana"));
    type_and_enter(field(*window, "user_email"), QStringLiteral("ana@loja.com.br"));
    type_and_enter(field(*window, "user_phone"), QStringLiteral("11987654321"));
    type_and_enter(field(*window, "user_cep"), QStringLiteral("01001000"));
    QVERIFY(!Access::validate_user_data(*window));

    type_and_enter(field(*window, "user_cnpj"), QStringLiteral("12ABC34501DE35"));
    QVERIFY(Access::validate_user_data(*window));

    find<QRadioButton>(*window, "radio_company")->click();
    field(*window, "user_cnpj")->clear();
    type_and_enter(field(*window, "user_cpf"), QStringLiteral("52998224725"));
    QVERIFY(Access::validate_user_data(*window));

    type_and_enter(field(*window, "user_email"), QStringLiteral("ana@loja"));
    QCOMPARE(stored("Email").toString(), QStringLiteral("ana@loja.com.br"));
    QVERIFY(!Access::validate_user_data(*window));
}

QTEST_MAIN(CustomerFormTest)
#include "test_customer_form.moc"
