#include "test_access.h"
#include "typing.h"
#include "ui/veltora_motor.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QtTest>

#include <memory>

using Access = Veltora_Motor_TestAccess;

namespace {

// The six fields, their settings keys and the controller fields that keep them, in one order.
const char *const field_names[] = {"user_name", "user_email", "user_phone",
                                   "user_cpf",  "user_cnpj",  "user_cep"};
const char *const keys[] = {"Nome", "Email", "Telefone", "CPF", "CNPJ", "CEP"};
QString (*const kept[])(const Veltora_Motor &) = {Access::customer_name,  Access::customer_email,
                                                  Access::customer_phone, Access::customer_cpf,
                                                  Access::customer_cnpj,  Access::customer_cep};
const QString red = QStringLiteral("QLineEdit { color: rgb(255, 0, 0); }");

// The tool's own store, named outright: the window must find it whatever identity the
// application holds meanwhile.
std::unique_ptr<QSettings> tool_store() {
    return std::make_unique<QSettings>(QStringLiteral("Veltora Ltda."),
                                       QStringLiteral("Veltora Zazurad - Motorização"));
}

QString stored(const char *key) {
    return tool_store()->value(QLatin1String(key)).toString();
}

std::unique_ptr<Veltora_Motor> open_window() {
    auto window = std::make_unique<Veltora_Motor>();
    window->show();
    return window;
}

template <typename T = QLineEdit> T *find(const Veltora_Motor &window, const char *name) {
    auto *widget = window.findChild<T *>(QLatin1String(name));
    if (widget == nullptr)
        qFatal("no widget %s", name);
    return widget;
}

// Radio buttons, visible taxpayer field and both labels all agree on one mode.
bool in_mode(const Veltora_Motor &window, bool company) {
    return find<QRadioButton>(window, "radio_company")->isChecked() == company &&
           find<QRadioButton>(window, "radio_user")->isChecked() == !company &&
           find(window, "user_cnpj")->isVisible() == company &&
           find(window, "user_cpf")->isVisible() == !company &&
           find<QLabel>(window, "label_name")->text() == (company ? "Razão Social" : "Nome") &&
           find<QLabel>(window, "label_cpf_cnpj")->text() == (company ? "CNPJ" : "CPF");
}

} // namespace

// The customer form in the real window, offscreen, against the real settings store in this
// test's own home. Verdicts are known from outside this code: the tax authority's published
// examples, public registrations and values worked out by hand.
class CustomerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Without the home CTest gives, a run would write into the developer's own settings.
        QVERIFY2(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"), "run through CTest");
    }
    void init() { tool_store()->clear(); }

    void first_run_fills_the_store() {
        QCoreApplication::setOrganizationName(QStringLiteral("Outra"));
        auto window = open_window();
        QCOMPARE(tool_store()->allKeys(),
                 QStringList({"CEP", "CNPJ", "CPF", "Email", "Nome", "Telefone", "Tipo"}));
        for (const char *key : keys)
            QCOMPARE(tool_store()->value(key), QVariant(QString()));
        QCOMPARE(stored("Tipo"), QStringLiteral("Pessoa Fisica"));
        QVERIFY(in_mode(*window, false));
        QCOMPARE(Access::customer_type(*window), QStringLiteral("Pessoa Fisica"));
    }

    // Per field: an accepted value is kept and stored as the field shows it (simplified, mask
    // punctuation included); a rejected one turns the field red and keeps the earlier value; a
    // later accepted one clears the red.
    void field_edits_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("name, 255 characters at most")
            << 0 << QStringList{"  Ana \t  Maria   Souza ", "    ", QString(256, 'b')}
            << QStringList{"Ana Maria Souza", "", QString(255, 'b')};
        QTest::newRow("e-mail") << 1
                                << QStringList{"ana@loja.com.br", " ana@loja.infos ", " A@B.INFO "}
                                << QStringList{"ana@loja.com.br", "ana@loja.infos", "A@B.INFO"};
        QTest::newRow("phone") << 2 << QStringList{"21987654321", "20987654321", "2122223333"}
                               << QStringList{"(21) 987654321", "(20) 987654321", "(21) 22223333"};
        QTest::newRow("CPF") << 3 << QStringList{"12345678909", "11111111111", "52998224725"}
                             << QStringList{"123.456.789-09", "111.111.111-11", "529.982.247-25"};
        QTest::newRow("CNPJ, upper-cased")
            << 4 << QStringList{"12abz34501de50", "00000000000000", "11222333000181"}
            << QStringList{"12.ABZ.345/01DE-50", "00.000.000/0000-00", "11.222.333/0001-81"};
        QTest::newRow("CEP") << 5 << QStringList{"01001000", "00100000", "20040002"}
                             << QStringList{"01001-000", "00100-000", "20040-002"};
    }

    void field_edits() {
        QFETCH(int, index);
        QFETCH(QStringList, typed);
        QFETCH(QStringList, shown);
        auto window = open_window();
        // Each edit stores under the tool's identity, whatever was set meanwhile.
        QCoreApplication::setOrganizationName(QStringLiteral("Outra"));
        QLineEdit *edit = find(*window, field_names[index]);
        for (int step = 0; step < 3; ++step) {
            type_and_enter(edit, typed[step]);
            const bool rejected = step == 1;
            const QString keep = shown[rejected ? 0 : step];
            QCOMPARE(edit->text(), shown[step]);
            QCOMPARE(edit->styleSheet(), rejected ? red : QString());
            QCOMPARE(stored(keys[index]), keep);
            QCOMPARE(kept[index](*window), keep);
        }
    }

    // The mode is stored at once; switching keeps the hidden field; clicking the checked radio
    // rewrites "Tipo" and touches nothing else, an earlier red field included.
    void modes() {
        tool_store()->setValue("CPF", QStringLiteral("123.456.789-09"));
        auto window = open_window();
        find<QRadioButton>(*window, "radio_company")->click();
        QVERIFY(in_mode(*window, true));
        QCOMPARE(stored("Tipo"), QStringLiteral("Pessoa Juridica"));
        QCOMPARE(Access::customer_type(*window), QStringLiteral("Pessoa Juridica"));
        type_and_enter(find(*window, "user_cnpj"), QStringLiteral("11222333000181"));
        type_and_enter(find(*window, "user_email"), QStringLiteral("x"));
        find<QRadioButton>(*window, "radio_user")->click();
        QVERIFY(in_mode(*window, false));
        QCOMPARE(stored("Tipo"), QStringLiteral("Pessoa Fisica"));
        QCOMPARE(find(*window, "user_cnpj")->text(), QStringLiteral("11.222.333/0001-81"));
        QCOMPARE(find(*window, "user_cpf")->text(), QStringLiteral("123.456.789-09"));
        QCOMPARE(stored("CNPJ"), QStringLiteral("11.222.333/0001-81"));
        QCOMPARE(stored("CPF"), QStringLiteral("123.456.789-09"));

        tool_store()->setValue("Tipo", QStringLiteral("sobrescrever"));
        find<QRadioButton>(*window, "radio_user")->click();
        QVERIFY(in_mode(*window, false));
        QCOMPARE(stored("Tipo"), QStringLiteral("Pessoa Fisica"));
        QCOMPARE(find(*window, "user_email")->styleSheet(), red);
    }

    // Stored values fill the form unchecked; a "Tipo" other than "Pessoa Fisica" opens company
    // mode. The whole form is judged on what it shows, with only the mode's taxpayer field.
    void stored_form_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<bool>("accepted");
        const QStringList good{"  Ana   Souza ", " ana@loja.com.br ",  "(11) 987654321",
                               "123.456.789-09", "12.ABC.345/01DE-35", "01001-000"};
        const auto row = [&good](const char *name, const char *type, int index, const char *text,
                                 bool accepted) {
            QStringList values = good;
            if (index >= 0)
                values[index] = QString::fromUtf8(text);
            QTest::newRow(name) << QString::fromUtf8(type) << values << accepted;
        };
        row("person", "Pessoa Fisica", -1, "", true);
        row("company", "Pessoa Juridica", -1, "", true);
        row("unknown type", "pessoa fisica", -1, "", true);
        row("accented type", "Pessoa Física", -1, "", true);
        row("no type", "", -1, "", true);
        row("person, bad CPF", "Pessoa Fisica", 3, "123.456.789-00", false);
        row("company, bad CNPJ", "Pessoa Juridica", 4, "11.222.333/0001-80", false);
        // Valid when the first character, an Arabic-Indic digit, counts as its digit or as -1.
        row("person, CPF in other digits", "Pessoa Fisica", 3, "\u066072.670.841-09", false);
        row("company, CNPJ in other digits", "Pessoa Juridica", 4, "\u06685.527.631/7452-00",
            false);
        row("blank name", "Pessoa Fisica", 0, "   ", false);
        row("bad e-mail", "Pessoa Fisica", 1, "ana@loja", false);
        row("bad phone", "Pessoa Fisica", 2, "(21) 12345678", false);
        row("bad CEP", "Pessoa Fisica", 5, "00100-000", false);
        row("short CEP", "Pessoa Fisica", 5, "20040-00", false);
    }

    void stored_form() {
        QFETCH(QString, type);
        QFETCH(QStringList, values);
        QFETCH(bool, accepted);
        {
            const auto store = tool_store();
            for (int i = 0; i < 6; ++i)
                store->setValue(keys[i], values[i]);
            store->setValue("Tipo", type);
        }
        auto window = open_window();
        QVERIFY(in_mode(*window, type != "Pessoa Fisica"));
        QCOMPARE(Access::customer_type(*window), type);
        QCOMPARE(stored("Tipo"), type);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(find(*window, field_names[i])->text(), values[i]);
            QCOMPARE(find(*window, field_names[i])->styleSheet(), QString());
            QCOMPARE(kept[i](*window), values[i]);
        }
        QCOMPARE(Access::validate_user_data(*window), accepted);
    }
};

QTEST_MAIN(CustomerTest)
#include "test_customer.moc"
