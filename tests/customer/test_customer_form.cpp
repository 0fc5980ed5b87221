#include "customer_window.h"

#include <QDir>
#include <QFile>

using namespace customer_test;

namespace {

// Radio buttons, visible taxpayer field and both labels all agree on one mode.
bool in_mode(const Veltora_Motor &window, bool company) {
    return find<QRadioButton>(window, "radio_company")->isChecked() == company &&
           find<QRadioButton>(window, "radio_user")->isChecked() == !company &&
           field(window, "user_cnpj")->isVisible() == company &&
           field(window, "user_cpf")->isVisible() == !company &&
           find<QLabel>(window, "label_name")->text() == (company ? "Razão Social" : "Nome") &&
           find<QLabel>(window, "label_cpf_cnpj")->text() == (company ? "CNPJ" : "CPF");
}

} // namespace

// The customer form in the real window, offscreen, against the real settings store in this
// test's own home.
class CustomerFormTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(has_own_home(), "run through CTest, which gives it a home"); }
    void init() { clear_store(); }

    void first_run_writes_the_seven_keys_under_the_tool_identity();
    void field_edits_data();
    void field_edits();
    void half_filled_masked_fields_store_nothing();
    void modes();
    void stored_values_fill_the_form();
};

void CustomerFormTest::first_run_writes_the_seven_keys_under_the_tool_identity() {
    // Another identity set on the application, before or meanwhile, must not move the store.
    QCoreApplication::setOrganizationName(QStringLiteral("Outra"));
    QCoreApplication::setApplicationName(QStringLiteral("Outro programa"));
    auto window = open_window();
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.0"));
    use_tool_identity();
    QCOMPARE(QSettings().allKeys(),
             QStringList({"CEP", "CNPJ", "CPF", "Email", "Nome", "Telefone", "Tipo"}));
    for (const char *key : keys)
        QCOMPARE(stored(key), QVariant(QString()));
    QCOMPARE(stored("Tipo").toString(), QStringLiteral("Pessoa Fisica"));
    QVERIFY(in_mode(*window, false));
    QCOMPARE(Access::customer_type(*window), QStringLiteral("Pessoa Fisica"));
    for (const char *name : field_names) {
        // An empty masked field still shows its punctuation.
        QCOMPARE(field(*window, name)->text().count(QRegularExpression("[0-9A-Za-z]")), 0);
        QCOMPARE(field(*window, name)->styleSheet(), QString());
    }
    for (const char *name : {"info_motor", "info_serial", "info_versions"})
        QCOMPARE(find<QLabel>(*window, name)->styleSheet(),
                 QStringLiteral("QLabel { font-weight: bold; }"));

    QCoreApplication::setOrganizationName(QStringLiteral("Outra"));
    type_and_enter(field(*window, "user_name"), QStringLiteral("Ana"));
    const QString file = QDir(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")))
                             .filePath(QStringLiteral("Veltora Ltda./Veltora Zazurad - "
                                                      "Motorização.conf"));
    QVERIFY2(QFile::exists(file), qPrintable(file));
    QCOMPARE(stored("Nome").toString(), QStringLiteral("Ana"));
}

// Per field: an accepted value is kept and stored as the field shows it (simplified, mask
// punctuation included); a rejected one turns the field red and keeps the earlier value; a later
// accepted one clears the red.
void CustomerFormTest::field_edits_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("name") << 0 << QStringList{"  Ana \t  Maria   Souza ", "    ", " Bia "}
                          << QStringList{"Ana Maria Souza", "", "Bia"};
    QTest::newRow("e-mail") << 1 << QStringList{"ana@loja.com.br", "  ana  @loja  ", " A@B.NET "}
                            << QStringList{"ana@loja.com.br", "ana @loja", "A@B.NET"};
    QTest::newRow("phone") << 2 << QStringList{"21987654321", "20987654321", "2133334444"}
                           << QStringList{"(21) 987654321", "(20) 987654321", "(21) 33334444"};
    QTest::newRow("CPF") << 3 << QStringList{"12345678909", "11111111111", "52998224725"}
                         << QStringList{"123.456.789-09", "111.111.111-11", "529.982.247-25"};
    QTest::newRow("CNPJ, upper-cased")
        << 4 << QStringList{"12abc34501de35", "00000000000000", "11222333000181"}
        << QStringList{"12.ABC.345/01DE-35", "00.000.000/0000-00", "11.222.333/0001-81"};
    QTest::newRow("CEP") << 5 << QStringList{"01001000", "00100000", "20040002"}
                         << QStringList{"01001-000", "00100-000", "20040-002"};
}

void CustomerFormTest::field_edits() {
    QFETCH(int, index);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, shown);
    auto window = open_window();
    QLineEdit *edit = field(*window, field_names[index]);
    for (int step = 0; step < 3; ++step) {
        type_and_enter(edit, typed[step]);
        const bool rejected = step == 1;
        const QString keep = shown[rejected ? 0 : step];
        QCOMPARE(edit->text(), shown[step]);
        QCOMPARE(edit->styleSheet(), rejected ? red_style() : QString());
        QCOMPARE(stored(keys[index]).toString(), keep);
        QCOMPARE(kept[index](*window), keep);
    }
}

// A masked field that is not full reports no end of editing, by Return or by leaving it; once
// full, leaving it is enough.
void CustomerFormTest::half_filled_masked_fields_store_nothing() {
    auto window = open_window();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    const QString partial[] = {"119876", "1234567890", "12ABC34501DE3", "0100100"};
    for (int index = 2; index < 6; ++index) {
        QLineEdit *edit = field(*window, field_names[index]);
        edit->setFocus();
        type_and_enter(edit, partial[index - 2]);
        field(*window, "user_name")->setFocus();
        QCOMPARE(stored(keys[index]).toString(), QString());
        QCOMPARE(kept[index](*window), QString());
        QCOMPARE(edit->styleSheet(), QString());
    }
    field(*window, "user_cep")->setFocus();
    QTest::keyClicks(field(*window, "user_cep"), QStringLiteral("0"));
    field(*window, "user_name")->setFocus();
    QCOMPARE(stored("CEP").toString(), QStringLiteral("01001-000"));
}

// The mode is stored at once and survives a restart; switching keeps the hidden field; clicking
// the checked radio rewrites "Tipo" and touches nothing else, an earlier red field included.
void CustomerFormTest::modes() {
    store_value("CPF", QStringLiteral("123.456.789-09"));
    {
        auto window = open_window();
        find<QRadioButton>(*window, "radio_company")->click();
        QVERIFY(in_mode(*window, true));
        QCOMPARE(stored("Tipo").toString(), QStringLiteral("Pessoa Juridica"));
        QCOMPARE(Access::customer_type(*window), QStringLiteral("Pessoa Juridica"));
        type_and_enter(field(*window, "user_cnpj"), QStringLiteral("11222333000181"));
        QCOMPARE(field(*window, "user_cpf")->text(), QStringLiteral("123.456.789-09"));
    }
    auto window = open_window();
    QVERIFY(in_mode(*window, true));
    find<QRadioButton>(*window, "radio_user")->click();
    QVERIFY(in_mode(*window, false));
    QCOMPARE(stored("Tipo").toString(), QStringLiteral("Pessoa Fisica"));
    QCOMPARE(field(*window, "user_cnpj")->text(), QStringLiteral("11.222.333/0001-81"));
    QCOMPARE(stored("CNPJ").toString(), QStringLiteral("11.222.333/0001-81"));
    QCOMPARE(stored("CPF").toString(), QStringLiteral("123.456.789-09"));

    type_and_enter(field(*window, "user_email"), QStringLiteral("x"));
    store_value("Tipo", QStringLiteral("sobrescrever"));
    find<QRadioButton>(*window, "radio_user")->click();
    QVERIFY(in_mode(*window, false));
    QCOMPARE(stored("Tipo").toString(), QStringLiteral("Pessoa Fisica"));
    QCOMPARE(field(*window, "user_email")->styleSheet(), red_style());
}

// Stored values fill the form unchecked; a "Tipo" other than "Pessoa Fisica" opens company mode.
void CustomerFormTest::stored_values_fill_the_form() {
    const QString values[] = {"Oficina São João", "nao-e-email",        "(11) 987654321",
                              "123.456.789-09",   "12.ABC.345/01DE-35", "01001-000"};
    for (int i = 0; i < 6; ++i)
        store_value(keys[i], values[i]);
    for (const QString &type : {QString("pessoa fisica"), QString("Pessoa Física"), QString()}) {
        store_value("Tipo", type);
        auto window = open_window();
        QVERIFY2(in_mode(*window, true), qPrintable(type));
        QCOMPARE(Access::customer_type(*window), type);
        QCOMPARE(stored("Tipo").toString(), type);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(field(*window, field_names[i])->text(), values[i]);
            QCOMPARE(field(*window, field_names[i])->styleSheet(), QString());
            QCOMPARE(kept[i](*window), values[i]);
        }
    }
}

QTEST_MAIN(CustomerFormTest)
#include "test_customer_form.moc"
