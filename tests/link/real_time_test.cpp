#include "link/exchanges.h"
#include "link/msleep.h"
#include "sim_cable.h"

#include <QElapsedTimer>
#include <QtTest>

class RealTimeTest : public QObject {
    Q_OBJECT

private slots:
    void read_parameter_really_waits() {
        SimCable sim_cable;
        QElapsedTimer clock;
        clock.start();
        std::uint32_t value = 0;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 5, value), 0);
        // A sleep never ends early; only the lower bound is certain.
        QVERIFY(clock.elapsed() >= 50);
        QCOMPARE(value, 0x0204u);
    }

    void a_replaced_sleep_is_handed_back_and_the_recorder_removed() {
        {
            RecordedSleep sleep;
            msleep(40);
            msleep(3);
            QCOMPARE(sleep.waits(), (std::vector<unsigned>{40, 3}));
            QCOMPARE(sleep.total(), 43u);
            sleep.clear();
            QVERIFY(sleep.waits().empty());
        }
        static int calls = 0;
        const SleepFunction counting = [](unsigned) { ++calls; };
        const SleepFunction real = replace_sleep_function(counting);
        msleep(1000);
        QCOMPARE(calls, 1);
        QVERIFY(replace_sleep_function(nullptr) == counting);
        QVERIFY(replace_sleep_function(nullptr) == real);
        QElapsedTimer clock;
        clock.start();
        msleep(20);
        QVERIFY(clock.elapsed() >= 20);
    }
};

QTEST_GUILESS_MAIN(RealTimeTest)
#include "real_time_test.moc"
