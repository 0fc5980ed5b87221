#include "chair/motorization.h"
#include "connected_window.h"
#include "progress_log.h"

#include <QtTest>

// Writing motorization profiles into the drive and clearing its event log, on a connected chair.
class TestTransfers : public QObject {
    Q_OBJECT

private slots:
    void every_motorization_writes_its_profile_word_for_word_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<int>("profile");
        QTest::addColumn<int>("recognised_row");
        // Rows 2 and 3 share profile 4 from firmware 2.4 on, so "KRS Standup" is then seen as
        // "KRS"; "KRS Standup" itself is told only by its larger parameter 15 on 2.3.
        const struct {
            int row, firmware, profile, recognised;
        } cases[] = {{0, 0x0203, 0, 0}, {1, 0x0203, 1, 1}, {2, 0x0203, 2, 2}, {3, 0x0203, 3, 3},
                     {2, 0x0204, 4, 2}, {3, 0x0204, 4, 2}, {4, 0x0203, 5, 4}, {4, 0x0204, 6, 4},
                     {5, 0x0203, 7, 5}, {5, 0x0204, 8, 5}, {6, 0x0204, 9, 6}, {7, 0x0204, 10, 7}};
        for (const auto &c : cases)
            QTest::addRow("row %d on firmware %x", c.row, c.firmware)
                << c.row << c.firmware << c.profile << c.recognised;
    }

    void every_motorization_writes_its_profile_word_for_word() {
        QFETCH(int, row);
        QFETCH(int, firmware);
        QFETCH(int, profile);
        QFETCH(int, recognised_row);
        ChairWindow chair;
        sim::set_param(sim::drive, 5, static_cast<std::uint32_t>(firmware));
        chair.connect_chair();
        chair.widget<QComboBox>("combo_motor")->setCurrentIndex(row);
        QCOMPARE(Access::selected_profile(*chair.window), Access::profile(*chair.window, profile));

        const auto drive_before = sim::params(sim::drive);
        chair.sleep.clear();
        QCOMPARE(Access::run_job(*chair.window, Access::send_parameters()), 0);

        const MotorProfile expected = build_motor_profile(profile);
        QCOMPARE(static_cast<int>(expected.size()), 34);
        for (const auto &[index, word] : expected) {
            QCOMPARE(sim::param(sim::drive, index), word.word());
            QCOMPARE(Access::drive_data(*chair.window).params[index], word.word());
        }
        for (const std::uint8_t untouched : {1, 2, 3, 4, 5, 6, 7, 8, 10, 11})
            QCOMPARE(sim::param(sim::drive, untouched), drive_before.at(untouched));
        QCOMPARE(chair.sleep.total(), 34u * 50u);
        QCOMPARE(Access::motor_index(*chair.window), recognised_row);
        QCOMPARE(chair.label("info_motor"), motorization_name(recognised_row));
        QCOMPARE(chair.widget<QComboBox>("combo_motor")->currentIndex(), recognised_row);
    }

    void writes_go_in_ascending_order_with_progress() {
        ChairWindow chair;
        chair.connect_chair();
        ProgressLog progress(*chair.window);
        sim::clear_record();
        QCOMPARE(Access::run_job(*chair.window, Access::send_parameters()), 0);
        std::vector<int> indices;
        for (const auto &frame : sim::written_frames()) {
            QCOMPARE(int(frame[0]), 10);
            QCOMPARE(int(frame[2]), 2);
            indices.push_back(frame[1]);
        }
        std::vector<int> expected{9};
        for (int index = 12; index <= 44; ++index)
            expected.push_back(index);
        QCOMPARE(indices, expected);
        QCOMPARE(progress.maximums, (QVector<int>{34, 100}));
        QCOMPARE(progress.values.size(), 35);
        QCOMPARE(progress.values.at(33), 33);
        QCOMPARE(progress.texts, (QStringList{"Enviando Parâmetros ...", "Veltora Zazurad"}));
    }

    void a_refused_write_is_skipped_silently() {
        ChairWindow chair;
        chair.connect_chair();
        const std::uint32_t held = Access::drive_data(*chair.window).params[20];
        sim::refuse(sim::drive, 10, 20);
        chair.widget<QComboBox>("combo_motor")->setCurrentIndex(0);
        QCOMPARE(Access::run_job(*chair.window, Access::send_parameters()), 0);
        QCOMPARE(chair.answerer.texts(), QStringList());
        QCOMPARE(Access::drive_data(*chair.window).params[20], held);
        QCOMPARE(sim::param(sim::drive, 21), build_motor_profile(0).at(21).word());
    }

    void a_failed_write_leaves_the_rest_and_the_display_alone() {
        ChairWindow chair;
        chair.connect_chair();
        chair.widget<QComboBox>("combo_motor")->setCurrentIndex(7);
        const auto before = sim::params(sim::drive);
        // Each exchange is four cable calls (DTR, write, echo, reply): the 20th entry fails.
        sim::unplug_after(4 * 19);
        const int result = Access::run_job(*chair.window, Access::send_parameters());
        QVERIFY(result < 0 && result != -7);
        QCOMPARE(chair.answerer.texts(),
                 QStringList{QStringLiteral("Falha ao enviar os parâmetros!")});
        int entry = 0;
        for (const auto &[index, word] : build_motor_profile(10)) {
            const std::uint32_t expected = entry < 19 ? word.word() : before.at(index);
            QCOMPARE(Access::drive_data(*chair.window).params[index], expected);
            ++entry;
        }
        QCOMPARE(chair.label("info_motor"), QStringLiteral("KRS"));
        QCOMPARE(chair.label("progress_label"), QStringLiteral("Veltora Zazurad"));
    }

    void clearing_empties_only_the_drive_log() {
        ChairWindow chair;
        chair.connect_chair();
        const auto panel_events = Access::panel_data(*chair.window).events;
        ProgressLog progress(*chair.window);
        sim::clear_record();
        QCOMPARE(Access::run_job(*chair.window, Access::clear_events()), 0);
        for (const auto &[index, value] : Access::drive_data(*chair.window).events) {
            QCOMPARE(int(value), 0);
            QCOMPARE(int(sim::event(sim::drive, index)), 0);
        }
        QCOMPARE(Access::panel_data(*chair.window).events, panel_events);
        QCOMPARE(sim::events(sim::panel), sim::default_events(sim::panel));
        for (const auto &frame : sim::written_frames()) {
            QCOMPARE(int(frame[0]), 6);
            QCOMPARE(int(frame[2]), 2);
        }
        QCOMPARE(progress.values.size(), 31);
        QCOMPARE(progress.values.at(29), 29);
        QCOMPARE(progress.maximums, (QVector<int>{30, 100}));
        QCOMPARE(progress.texts, (QStringList{"Limpando Eventos ...", "Veltora Zazurad"}));
    }

    void a_failed_clear_keeps_the_values_after_it() {
        ChairWindow chair;
        chair.connect_chair();
        sim::clear_record();
        sim::refuse(sim::drive, 6, 2);
        sim::unplug_after(4 * 4);
        QVERIFY(Access::run_job(*chair.window, Access::clear_events()) != 0);
        QCOMPARE(chair.answerer.texts(),
                 QStringList{QStringLiteral("Falha ao limpar os eventos!")});
        const auto &events = Access::drive_data(*chair.window).events;
        const auto defaults = sim::default_events(sim::drive);
        QCOMPARE(int(events.at(1)), 0);
        QCOMPARE(events.at(2), defaults.at(2)); // refused
        QCOMPARE(int(events.at(3)), 0);
        QCOMPARE(int(events.at(4)), 0);
        QCOMPARE(events.at(5), defaults.at(5));
        QCOMPARE(chair.label("progress_label"), QStringLiteral("Veltora Zazurad"));
    }
};

QTEST_MAIN(TestTransfers)
#include "test_transfers.moc"
