#include "customer_window.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QRandomGenerator>

using namespace customer_test;

namespace {

const char *const field_names[] = {"user_name", "user_email", "user_phone",
                                   "user_cpf",  "user_cnpj",  "user_cep"};
const char *const keys[] = {"Nome", "Email", "Telefone", "CPF", "CNPJ", "CEP"};

QString kept(const Veltora_Motor &window, int index) {
    switch (index) {
    case 0:
        return Access::customer_name(window);
    case 1:
        return Access::customer_email(window);
    case 2:
        return Access::customer_phone(window);
    case 3:
        return Access::customer_cpf(window);
    case 4:
        return Access::customer_cnpj(window);
    default:
        return Access::customer_cep(window);
    }
}

QString emoji() {
    return QString::fromUtf8("\xF0\x9F\x98\x80");
}

} // namespace

// Input no technician should type but someone will: the form never breaks, and whatever it
// stores reads back the same in the next run.
class CustomerHostileInputTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(has_own_home(), "run through CTest, which gives it a home"); }
    void init() { clear_store(); }

    void odd_names_round_trip_data();
    void odd_names_round_trip();
    void pasted_letters_in_masked_fields();
    void pasted_cnpj_is_upper_cased_and_accepted();
    void random_input_reads_back_the_same();
};

void CustomerHostileInputTest::odd_names_round_trip_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    const QString accents = QString::fromUtf8("Conceição Ávila Müller ñ ç ã õ");
    QTest::newRow("255 letters") << QString(255, QLatin1Char('a'))
                                 << QString(255, QLatin1Char('a'));
    QTest::newRow("255 accented") << QString(255, QChar(0x00E7)) << QString(255, QChar(0x00E7));
    QTest::newRow("accents") << accents << accents;
    QTest::newRow("emoji") << QString(" %1 Ana %1 ").arg(emoji())
                           << QString("%1 Ana %1").arg(emoji());
    QTest::newRow("many emoji") << emoji().repeated(127) << emoji().repeated(127);
    QTest::newRow("tabs") << QString("\tAna\t\tSouza\t") << QString("Ana Souza");
    QTest::newRow("control characters")
        << QString("A%1n%2a%3").arg(QChar(1)).arg(QChar(0x1B)).arg(QChar(0x7F))
        << QString("A%1n%2a%3").arg(QChar(1)).arg(QChar(0x1B)).arg(QChar(0x7F));
    QTest::newRow("settings syntax")
        << QString(R"([General]\ a=b ; "x" %20 #)") << QString(R"([General]\ a=b ; "x" %20 #)");
    QTest::newRow("right-to-left")
        << QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xE2\x80\x8F")
        << QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xE2\x80\x8F");
}

void CustomerHostileInputTest::odd_names_round_trip() {
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    {
        auto window = open_window();
        QLineEdit *name = field(*window, "user_name");
        set_and_enter(name, typed);
        QCOMPARE(name->text(), kept);
        QCOMPARE(name->styleSheet(), QString());
        QCOMPARE(Access::customer_name(*window), kept);
    }
    QCOMPARE(stored("Nome").toString(), kept);
    auto window = open_window();
    QCOMPARE(field(*window, "user_name")->text(), kept);
    QCOMPARE(Access::customer_name(*window), kept);
}

void CustomerHostileInputTest::pasted_letters_in_masked_fields() {
    auto window = open_window();
    for (const char *name : {"user_phone", "user_cpf", "user_cep"}) {
        QLineEdit *edit = field(*window, name);
        edit->clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("abc\tdéf") + emoji());
        edit->paste();
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClicks(edit, QStringLiteral("xyz!?"));
        QTest::keyClick(edit, Qt::Key_Return);
    }
    for (const char *key : {"Telefone", "CPF", "CEP"})
        QCOMPARE(stored(key).toString(), QString());

    QLineEdit *phone = field(*window, "user_phone");
    phone->clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("1a1b9c8d7e6f5g4h3i2j1"));
    phone->paste();
    QTest::keyClick(phone, Qt::Key_Return);
    QCOMPARE(stored("Telefone").toString(), phone->text());
}

void CustomerHostileInputTest::pasted_cnpj_is_upper_cased_and_accepted() {
    auto window = open_window();
    QLineEdit *cnpj = field(*window, "user_cnpj");
    cnpj->clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("12.abc.345/01de-35"));
    cnpj->paste();
    QTest::keyClick(cnpj, Qt::Key_Return);
    QCOMPARE(cnpj->text(), QStringLiteral("12.ABC.345/01DE-35"));
    QCOMPARE(stored("CNPJ").toString(), QStringLiteral("12.ABC.345/01DE-35"));
}

// Random text of every kind into every field, accepted or not; the next run must show exactly
// what was kept.
void CustomerHostileInputTest::random_input_reads_back_the_same() {
    QRandomGenerator random(1234);
    const QString pool = QStringLiteral("0123456789abcxyzABCXYZ .-/()@_+\t") + emoji() +
                         QString::fromUtf8("çãé\xD9\xA3\xC2\xB2") + QChar(0x01) + QChar(0xD800);
    {
        auto window = open_window();
        for (int round = 0; round < 400; ++round) {
            const int index = static_cast<int>(random.bounded(6));
            // Half the rounds mostly digits, so that masked fields get filled and accepted too.
            const int range = random.bounded(2) == 0 ? 10 : pool.size();
            QString text;
            const int length = static_cast<int>(random.bounded(20));
            for (int i = 0; i < length; ++i)
                text.append(pool.at(static_cast<int>(random.bounded(range))));
            set_and_enter(field(*window, field_names[index]), text);
            QCOMPARE(stored(keys[index]).toString(), kept(*window, index));
        }
        if (random.bounded(2) == 0)
            find<QRadioButton>(*window, "radio_company")->click();
    }
    QStringList before;
    for (const char *key : keys)
        before << stored(key).toString();
    for (int index : {0, 2, 5})
        QVERIFY2(!before.at(index).isEmpty(), keys[index]);
    auto window = open_window();
    for (int index = 0; index < 6; ++index) {
        QCOMPARE(kept(*window, index), before.at(index));
        // An empty masked field still shows its punctuation.
        if (!before.at(index).isEmpty())
            QCOMPARE(field(*window, field_names[index])->text(), before.at(index));
    }
}

QTEST_MAIN(CustomerHostileInputTest)
#include "test_customer_hostile_input.moc"
