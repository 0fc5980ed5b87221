#include "connected_window.h"
#include "progress_log.h"

#include <QtTest>

// Connecting to and disconnecting from the simulated chair through the window's buttons.
class TestConnect : public QObject {
    Q_OBJECT

private slots:
    void connect_shows_the_drive_and_reads_both_devices() {
        ChairWindow chair;
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(), QStringList());
        QCOMPARE(Access::link_state(*chair.window), 2);
        QCOMPARE(Access::cable_product_id(*chair.window), 0x8359);
        QVERIFY(chair.looks_connected());
        QCOMPARE(chair.label("info_serial"), QStringLiteral("VZMD24123456"));
        QCOMPARE(chair.label("info_versions"), QStringLiteral("2.4 / 1.0"));
        QCOMPARE(chair.label("info_motor"), QStringLiteral("KRS"));
        QCOMPARE(chair.widget<QComboBox>("combo_motor")->currentIndex(), 2);
        QCOMPARE(Access::selected_profile(*chair.window), Access::profile(*chair.window, 4));
        QCOMPARE(Access::drive_data(*chair.window).params, sim::params(sim::drive));
        QCOMPARE(Access::panel_data(*chair.window).params, sim::params(sim::panel));
        QCOMPARE(Access::drive_data(*chair.window).events, sim::events(sim::drive));
        QCOMPARE(Access::panel_data(*chair.window).events, sim::events(sim::panel));
        // 100 + 250 ms to open the connection, then 50 ms after each of 52 events and 88
        // parameters.
        QCOMPARE(chair.sleep.total(), 7350u);
        QCOMPARE(chair.label("progress_label"), QStringLiteral("Veltora Zazurad"));
    }

    void connect_progress_counts_every_item_in_order() {
        ChairWindow chair;
        ProgressLog progress(*chair.window);
        chair.connect_chair();
        QVector<int> expected;
        for (int i = 0; i < 52; ++i)
            expected.append(i);
        expected.append(0);
        for (int i = 0; i < 88; ++i)
            expected.append(i);
        expected.append(0);
        QCOMPARE(progress.values, expected);
        QCOMPARE(progress.maximums, (QVector<int>{0, 100, 52, 100, 88, 100}));
        QCOMPARE(progress.texts,
                 (QStringList{"Conectando ...", "Veltora Zazurad", "Carregando Eventos ...",
                              "Veltora Zazurad", "Carregando Parâmetros ...", "Veltora Zazurad"}));
        QVERIFY(progress.all_on_gui_thread);
    }

    void the_service_cable_wins_and_the_user_cable_is_found_alone() {
        ChairWindow chair;
        sim::set_plugged_products({0x8358});
        chair.connect_chair();
        QCOMPARE(Access::cable_product_id(*chair.window), 0x8358);
        QCOMPARE(Access::link_state(*chair.window), 2);
    }

    void no_cable_tells_the_user_and_changes_nothing() {
        ChairWindow chair;
        sim::set_plugged_products({});
        ProgressLog progress(*chair.window);
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(),
                 QStringList{QStringLiteral("Cabo de comunicação USB não encontrado!")});
        QCOMPARE(Access::link_state(*chair.window), 0);
        QCOMPARE(Access::cable_product_id(*chair.window), 0xFFFF);
        QVERIFY(chair.looks_disconnected());
        QVERIFY(progress.texts.isEmpty());
        QCOMPARE(sim::live_contexts(), 0);
    }

    void a_silent_chair_keeps_the_cable_for_the_next_press() {
        ChairWindow chair;
        sim::set_silent(true);
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(),
                 QStringList{QStringLiteral("Falha ao estabelecer a conexão com a cadeira!")});
        QCOMPARE(Access::link_state(*chair.window), 1);
        QVERIFY(chair.looks_disconnected());

        sim::set_silent(false);
        sim::clear_record();
        chair.answerer.clear();
        chair.connect_chair();
        QCOMPARE(sim::count_calls("ftdi_usb_open"), 0);
        QCOMPARE(Access::link_state(*chair.window), 2);
        QVERIFY(chair.looks_connected());
    }

    void a_failing_cable_is_closed_before_the_next_search() {
        ChairWindow chair;
        sim::fail_writes(20);
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(),
                 QStringList{QStringLiteral("Falha ao estabelecer a conecão com a cadeira!")});
        QCOMPARE(Access::link_state(*chair.window), 0);

        chair.connect_chair();
        QCOMPARE(Access::link_state(*chair.window), 2);
        QCOMPARE(sim::live_contexts(), 1);
    }

    void a_failed_read_keeps_what_was_read_before_it() {
        const int calls = calls_until_drive_parameter(35);
        ChairWindow chair;
        sim::refuse(sim::drive, 8, 30);
        sim::unplug_after(calls);
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(),
                 QStringList{QStringLiteral("Falha ao carregar os parâmetros!")});
        const DeviceData &drive = Access::drive_data(*chair.window);
        QCOMPARE(drive.params.at(30), 0u); // refused: no message of its own
        QCOMPARE(drive.params.at(34), sim::param(sim::drive, 34));
        QCOMPARE(drive.params.at(40), 0u);
        QVERIFY(chair.looks_disconnected());
        QCOMPARE(chair.label("progress_label"), QStringLiteral("Veltora Zazurad"));
        QCOMPARE(chair.widget<QProgressBar>("progress_bar")->maximum(), 100);
    }

    void a_chair_silent_during_the_reading_connects_at_the_next_press() {
        ChairWindow chair;
        // Switched off at the ninth drive event and on again once the reading has given up (the
        // progress goes back to 0); set from the job's own thread, so exactly then.
        const auto off = QObject::connect(
            chair.window.get(), &Veltora_Motor::set_progressbar_value, chair.window.get(),
            [](int done) { sim::set_silent(done == 30); }, Qt::DirectConnection);
        chair.connect_chair();
        QObject::disconnect(off);
        QCOMPARE(chair.answerer.texts(),
                 QStringList{QStringLiteral("Falha ao carregar os eventos!")});
        QCOMPARE(Access::link_state(*chair.window), 2);
        QVERIFY(chair.looks_disconnected());

        // The next press opens the connection anew on the open cable.
        sim::clear_record();
        chair.answerer.clear();
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(), QStringList());
        QCOMPARE(sim::count_calls("ftdi_usb_open"), 0);
        QCOMPARE(int(sim::written_frames().front()[0]), 0);
        QVERIFY(chair.looks_connected());
        QCOMPARE(Access::drive_data(*chair.window).params, sim::params(sim::drive));
    }

    void firmware_too_new_locks_the_service_for_the_rest_of_the_run() {
        ChairWindow chair;
        sim::set_param(sim::drive, 5, 0x0300);
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(),
                 QStringList{QStringLiteral(
                     "Versão de Firmware incompatível. Utilize o Veltora Zazurad 2.0!")});
        QVERIFY(chair.looks_connected());
        QCOMPARE(chair.label("info_versions"), QStringLiteral("3.0 / 1.0"));
        QVERIFY(!chair.widget<QComboBox>("combo_motor")->isEnabled());
        QVERIFY(!chair.widget<QPushButton>("btn_send")->isEnabled());
        QVERIFY(!chair.widget<QGroupBox>("box_user")->isEnabled());

        chair.click("btn_disconnect");
        sim::set_param(sim::drive, 5, 0x02FF); // the newest firmware still allowed
        chair.answerer.clear();
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(), QStringList());
        QVERIFY(!chair.widget<QComboBox>("combo_motor")->isEnabled());
        QVERIFY(!chair.widget<QPushButton>("btn_send")->isEnabled());
        QVERIFY(!chair.widget<QGroupBox>("box_user")->isEnabled());
    }

    void disconnect_keeps_the_cable_for_the_next_connect() {
        ChairWindow chair;
        chair.connect_chair();
        ProgressLog progress(*chair.window);
        chair.click("btn_disconnect");
        QCOMPARE(chair.answerer.texts(), QStringList());
        QCOMPARE(Access::link_state(*chair.window), 1);
        QVERIFY(chair.looks_disconnected());
        QCOMPARE(chair.label("info_serial"), QString());
        QCOMPARE(chair.label("info_motor"), QString());
        QCOMPARE(chair.widget<QComboBox>("combo_motor")->currentIndex(), -1);
        QCOMPARE(Access::motor_index(*chair.window), -1);
        QCOMPARE(Access::selected_profile(*chair.window), Access::profile(*chair.window, 0));
        QCOMPARE(progress.texts, (QStringList{"Desconectando ...", "Veltora Zazurad"}));
        QCOMPARE(progress.maximums, (QVector<int>{0, 100}));
        QVERIFY(!sim::dtr_high());

        sim::clear_record();
        chair.connect_chair();
        QCOMPARE(sim::count_calls("ftdi_usb_open"), 0);
        QVERIFY(chair.looks_connected());
    }

    // Whether the chair stops answering or the cable fails, Conectar takes over and works, also
    // under the firmware lock.
    void a_failed_disconnect_leaves_a_working_connect() {
        ChairWindow chair;
        sim::set_param(sim::drive, 5, 0x0300);
        chair.connect_chair();
        sim::set_silent(true);
        chair.click("btn_disconnect");
        sim::set_silent(false);
        QCOMPARE(Access::link_state(*chair.window), 1);
        QVERIFY(chair.looks_disconnected());
        chair.connect_chair();
        QVERIFY(chair.looks_connected());

        sim::fail_writes(20);
        chair.click("btn_disconnect");
        QCOMPARE(Access::link_state(*chair.window), 0);
        QVERIFY(chair.looks_disconnected());
        chair.connect_chair();
        QVERIFY(chair.looks_connected());
        const QString locked = "Versão de Firmware incompatível. Utilize o Veltora Zazurad 2.0!";
        QCOMPARE(chair.answerer.texts(),
                 (QStringList{locked, "Conexão perdida!", locked,
                              "Falha ao estabelecer a conecão com a cadeira!", locked}));
    }

    void closing_the_window_tells_the_chair_and_closes_the_cable() {
        ChairWindow chair;
        chair.connect_chair();
        sim::clear_record();
        chair.window.reset();
        QCOMPARE(sim::written_frames().front(),
                 (std::vector<std::uint8_t>{14, 0, 1, 0, 0, 0, 0, 15}));
        QCOMPARE(sim::live_contexts(), 0);
        QVERIFY(!sim::dtr_high());
    }

private:
    // libftdi calls, from a fresh chair on, that finding the cable, connecting and reading every
    // event take; measured on the default chair.
    static int calls_until_events_done() {
        ChairWindow probe;
        Access::find_cable(*probe.window);
        Access::run_job(*probe.window, Access::connect_chair());
        Access::run_job(*probe.window, Access::load_events());
        return static_cast<int>(sim::calls().size());
    }

    // libftdi calls, from a fresh chair on, until the read of drive parameter `index` starts.
    static int calls_until_drive_parameter(int index) {
        const int before = calls_until_events_done();
        ChairWindow probe;
        Access::find_cable(*probe.window);
        Access::run_job(*probe.window, Access::connect_chair());
        Access::run_job(*probe.window, Access::load_events());
        sim::clear_record();
        Access::run_job(*probe.window, Access::load_parameters());
        const int per_read = static_cast<int>(sim::calls().size()) / 88;
        return before + per_read * (44 + index - 1);
    }
};

QTEST_MAIN(TestConnect)
#include "test_connect.moc"
