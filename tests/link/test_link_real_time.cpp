#include "link/cable.h"
#include "link/exchanges.h"
#include "sim/sim_chair.h"

#include <QElapsedTimer>
#include <QtTest>

// The one suite that spends the link's waits for real; every other records them.
class TestLinkRealTime : public QObject {
    Q_OBJECT

private slots:
    void an_exchange_really_waits() {
        sim::reset();
        ftdi_context *cable = nullptr;
        QCOMPARE(open_cable(cable, service_cable_product_id), 0);
        QElapsedTimer clock;
        clock.start();
        std::uint32_t value = 0;
        QCOMPARE(read_parameter(cable, 2, 2, 5, value), 0);
        // A sleep never ends early; only the lower bound is certain.
        QVERIFY(clock.elapsed() >= 50);
        QCOMPARE(close_cable(cable), 0);
    }
};

QTEST_GUILESS_MAIN(TestLinkRealTime)
#include "test_link_real_time.moc"
