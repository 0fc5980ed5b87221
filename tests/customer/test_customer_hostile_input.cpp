#include "customer_window.h"

#include <QRandomGenerator>

using namespace customer_test;

namespace {

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
    void random_input_reads_back_the_same();
};

void CustomerHostileInputTest::odd_names_round_trip_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    const QString odd = QString("A") + QChar(1) + "n" + QChar(0x1B) + "a" + QChar(0x7F) +
                        R"( [General]\ a=b ; "x" %20 #)";
    const QString rtl = QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xE2\x80\x8F");
    QTest::newRow("255 accented") << QString(255, QChar(0x00E7)) << QString(255, QChar(0x00E7));
    QTest::newRow("control characters, settings syntax") << odd << odd;
    QTest::newRow("emoji, tabs, right-to-left") << QString("\t%1 Ana\t\t%1 %2\t").arg(emoji(), rtl)
                                                << QString("%1 Ana %1 %2").arg(emoji(), rtl);
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
            QCOMPARE(stored(keys[index]).toString(), kept[index](*window));
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
        QCOMPARE(kept[index](*window), before.at(index));
        // An empty masked field still shows its punctuation.
        if (!before.at(index).isEmpty())
            QCOMPARE(field(*window, field_names[index])->text(), before.at(index));
    }
}

QTEST_MAIN(CustomerHostileInputTest)
#include "test_customer_hostile_input.moc"
