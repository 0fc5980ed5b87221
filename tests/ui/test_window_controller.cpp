#include "app/modal_answerer.h"
#include "recorded_sleep.h"
#include "sim/sim_chair.h"
#include "test_access.h"

#include <QtTest>

using Access = Veltora_Motor_TestAccess;

// The window's guard while a job runs: no closing until the job is done.
class TestWindowController : public QObject {
    Q_OBJECT

private slots:
    void init() { sim::reset(); }

    void closing_is_refused_while_a_job_runs_and_accepted_after() {
        RecordedSleep no_waits;
        Veltora_Motor window;
        window.show();
        ModalAnswerer answerer;
        bool stayed_open = false;
        bool busy_meanwhile = false;
        // The job's failure message is open: the job is still running behind it.
        answerer.on_box([&](QMessageBox *) {
            busy_meanwhile = Access::busy(window);
            window.close();
            QMetaObject::invokeMethod(&window, "reject");
            stayed_open = window.isVisible();
        });
        Access::find_cable(window);
        QCOMPARE(Access::run_job(window, Access::load_events()), -2);
        QVERIFY(busy_meanwhile);
        QVERIFY(stayed_open);
        QVERIFY(!Access::busy(window));
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
    }

    void escape_closes_an_idle_window() {
        Veltora_Motor window;
        window.show();
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(TestWindowController)
#include "test_window_controller.moc"
