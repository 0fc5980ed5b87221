#include "modal_answerer.h"
#include "progress_log.h"
#include "recorded_sleep.h"
#include "sim/sim_chair.h"
#include "test_access.h"

#include <QPushButton>
#include <QtTest>

using Access = Veltora_Motor_TestAccess;

// The window's guard while a job runs, and the runner that carries jobs to a pool thread.
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

    void jobs_run_off_the_gui_thread_and_report_in_order() {
        RecordedSleep no_waits;
        Veltora_Motor window;
        ProgressLog progress(window);
        Access::find_cable(window);
        QCOMPARE(Access::run_job(window, Access::connect_chair()), 0);
        QCOMPARE(Access::run_job(window, Access::load_events()), 0);
        QCOMPARE(Access::run_job(window, Access::load_parameters()), 0);
        QCOMPARE(progress.texts,
                 (QStringList{"Conectando ...", "Veltora Zazurad", "Carregando Eventos ...",
                              "Veltora Zazurad", "Carregando Parâmetros ...", "Veltora Zazurad"}));
        QVERIFY(progress.all_on_gui_thread);
        QVERIFY(!Access::busy(window));
    }

    void a_job_that_returns_at_once_still_ends_the_wait() {
        Veltora_Motor window;
        ModalAnswerer answerer;
        // No cable: the exchange refuses before touching anything.
        QCOMPARE(Access::run_job(window, Access::disconnect_chair()), -1);
        QCOMPARE(Access::run_job(window, Access::clear_events()), -1);
        QCOMPARE(answerer.texts(), (QStringList{"Falha ao estabelecer a conecão com a cadeira!",
                                                "Falha ao limpar os eventos!"}));
        QVERIFY(!Access::busy(window));
    }

    void messages_keep_one_title_and_one_ok_button() {
        Veltora_Motor window;
        ModalAnswerer answerer;
        QStringList titles;
        int buttons = 0;
        answerer.on_box([&](QMessageBox *box) {
            titles << box->windowTitle();
            buttons += box->buttons().size();
        });
        sim::set_plugged_products({});
        window.findChild<QPushButton *>(QStringLiteral("btn_connect"))->click();
        QCOMPARE(Access::run_job(window, Access::load_parameters()), -1);
        QCOMPARE(titles,
                 (QStringList{"Veltora Zazurad - Motorização", "Veltora Zazurad - Motorização"}));
        QCOMPARE(buttons, 2);
    }
};

QTEST_MAIN(TestWindowController)
#include "test_window_controller.moc"
