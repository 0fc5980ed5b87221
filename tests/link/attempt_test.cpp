#include "link/exchanges.h"
#include "recorded_sleep.h"
#include "sim_cable.h"

#include <QtTest>

#include <functional>

namespace {

constexpr std::uint32_t untouched = 0xA5A5A5A5;

using Setup = std::function<void()>;

std::vector<std::uint8_t> reply_bytes(std::uint8_t op, std::uint8_t status, std::uint32_t data) {
    return bytes_of(build_frame(op, status, 0, data));
}

std::vector<int> alternating_dtr(int attempts) {
    std::vector<int> changes;
    for (int i = 0; i < attempts; ++i) {
        changes.push_back(1);
        changes.push_back(0);
    }
    return changes;
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(sim::ReplyFault)
Q_DECLARE_METATYPE(std::vector<std::uint8_t>)

class AttemptTest : public QObject {
    Q_OBJECT

private slots:
    void gives_up_when_one_kind_of_failure_reaches_twenty() {
        QFETCH(Setup, setup);
        QFETCH(int, expected);
        SimCable sim_cable;
        RecordedSleep sleep;
        setup();
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 5, value), expected);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 20);
        QCOMPARE(sleep.waits(), std::vector<unsigned>(20, 50));
        QCOMPARE(sim::dtr_changes(), (std::vector<int>{1, 0}));
        QVERIFY(!sim::dtr_high());
        QCOMPARE(value, untouched);
    }
    void gives_up_when_one_kind_of_failure_reaches_twenty_data() {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<int>("expected");
        QTest::newRow("short writes") << Setup([] { sim::fail_writes(20, 5); }) << -3;
        QTest::newRow("failed writes") << Setup([] { sim::fail_writes(20, -1); }) << -3;
        QTest::newRow("silent chair") << Setup([] { sim::set_silent(true); }) << -4;
        QTest::newRow("late bytes") << Setup([] { sim::delay_reads(20 * 20); }) << -4;
        QTest::newRow("echo and reply lost") << Setup([] {
            sim::lose_bytes(sim::FrameKind::echo, 20, 8);
            sim::lose_bytes(sim::FrameKind::reply, 20, 8);
        }) << -4;
        QTest::newRow("no reply") << Setup([] { sim::lose_bytes(sim::FrameKind::reply, 20, 8); })
                                  << -5;
        QTest::newRow("reply short of a byte")
            << Setup([] { sim::lose_bytes(sim::FrameKind::reply, 20, 1); }) << -5;
        QTest::newRow("bad checksum")
            << Setup([] { sim::corrupt_replies(sim::ReplyFault::bad_checksum, 20); }) << -6;
        QTest::newRow("wrong op") << Setup([] {
            sim::corrupt_replies(sim::ReplyFault::wrong_op, 20);
        }) << -6;
        QTest::newRow("wrong status")
            << Setup([] { sim::corrupt_replies(sim::ReplyFault::wrong_status, 20); }) << -6;
        QTest::newRow("wrong address")
            << Setup([] { sim::corrupt_replies(sim::ReplyFault::wrong_address, 20); }) << -6;
    }

    void a_pulled_cable_ends_in_write_failures() {
        SimCable sim_cable;
        RecordedSleep sleep;
        sim::unplug_after(1);
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 5, value), -3);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 20);
        QCOMPARE(sim::count_calls("ftdi_read_data"), 0);
        QCOMPARE(value, untouched);
    }

    void a_bad_reply_is_asked_again() {
        QFETCH(sim::ReplyFault, fault);
        SimCable sim_cable;
        RecordedSleep sleep;
        sim::corrupt_replies(fault, 1);
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 4, value), 0);
        QCOMPARE(value, 0x0100u);
        const auto frames = sim::written_frames();
        QCOMPARE(frames.size(), std::size_t{2});
        QCOMPARE(frames[0], frames[1]);
        QCOMPARE(sleep.waits(), (std::vector<unsigned>{50, 50}));
        QCOMPARE(sim::dtr_changes(), std::vector<int>{1});
    }
    void a_bad_reply_is_asked_again_data() {
        QTest::addColumn<sim::ReplyFault>("fault");
        QTest::newRow("checksum") << sim::ReplyFault::bad_checksum;
        QTest::newRow("op") << sim::ReplyFault::wrong_op;
        QTest::newRow("status") << sim::ReplyFault::wrong_status;
        QTest::newRow("address") << sim::ReplyFault::wrong_address;
    }

    void nineteen_failed_writes_then_an_accepted_attempt() {
        SimCable sim_cable;
        RecordedSleep sleep;
        sim::fail_writes(19, 7);
        QCOMPARE(write_parameter(sim_cable.cable, 2, 2, 20, 417), 0);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 20);
        QCOMPARE(sim::param(sim::drive, 20), 417u);
        QCOMPARE(sleep.waits(), std::vector<unsigned>(20, 50));
        QVERIFY(sim::dtr_high());
    }

    void counters_add_up_across_kinds_to_seventy_seven_attempts() {
        QFETCH(int, last_kind);
        QFETCH(int, expected);
        SimCable sim_cable;
        RecordedSleep sleep;
        const std::vector<std::uint8_t> nothing;
        const std::vector<std::uint8_t> echo = bytes_of(build_frame(8, 5, 2, 0));
        // One attempt failing in the given way: 0 write, 1 discard, 2 reply, 3 wrong reply.
        int good_writes = 0;
        const auto fail_once = [&](int kind) {
            if (kind == 0) {
                sim::fail_writes(1, -1, good_writes);
                good_writes = 0;
                return;
            }
            ++good_writes;
            sim::queue_raw(sim::FrameKind::echo, kind == 1 ? nothing : echo);
            sim::queue_raw(sim::FrameKind::reply, kind == 3 ? reply_bytes(9, 2, 0) : nothing);
        };
        // Interleaved, so a counter set back by another kind's failure would never reach 20.
        for (int round = 0; round < 19; ++round) {
            for (int kind = 0; kind < 4; ++kind) {
                fail_once(kind);
            }
        }
        fail_once(last_kind);
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 5, value), expected);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 77);
        QCOMPARE(sleep.waits(), std::vector<unsigned>(77, 50));
        QCOMPARE(value, untouched);
        QVERIFY(!sim::dtr_high());
    }
    void counters_add_up_across_kinds_to_seventy_seven_attempts_data() {
        QTest::addColumn<int>("last_kind");
        QTest::addColumn<int>("expected");
        QTest::newRow("writes") << 0 << -3;
        QTest::newRow("discards") << 1 << -4;
        QTest::newRow("replies") << 2 << -5;
        QTest::newRow("wrong replies") << 3 << -6;
    }

    void the_frame_before_the_reply_is_never_examined() {
        QFETCH(std::vector<std::uint8_t>, echo);
        SimCable sim_cable;
        RecordedSleep sleep;
        sim::queue_raw(sim::FrameKind::echo, echo);
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 3, value), 0);
        QCOMPARE(value, 123456u);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 1);
    }
    void the_frame_before_the_reply_is_never_examined_data() {
        QTest::addColumn<std::vector<std::uint8_t>>("echo");
        QTest::newRow("garbage") << std::vector<std::uint8_t>{0xFF, 0, 0x13, 0x37, 1, 2, 3, 4};
        QTest::newRow("a refusal") << reply_bytes(9, 0xEE, 0);
        QTest::newRow("an acceptance") << reply_bytes(9, 1, 999);
    }

    void an_acceptance_before_a_refusal_does_not_count() {
        SimCable sim_cable;
        RecordedSleep sleep;
        sim::queue_raw(sim::FrameKind::echo, reply_bytes(9, 1, 999));
        sim::refuse(sim::drive, 8, 3);
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 3, value), -7);
        QCOMPARE(value, untouched);
    }

    void data_bytes_are_handed_over_not_compared() {
        SimCable sim_cable;
        RecordedSleep sleep;
        sim::queue_raw(sim::FrameKind::reply, {0x03, 0x01, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x2E});
        sim::queue_raw(sim::FrameKind::reply, reply_bytes(3, 1, 0xFFFFFFFF));
        std::uint32_t value = untouched;
        QCOMPARE(read_event(sim_cable.cable, 2, 1, 1, value), 0);
        QCOMPARE(value, 42u);
        QCOMPARE(read_event(sim_cable.cable, 2, 1, 1, value), 0);
        QCOMPARE(value, 0xFFFFFFFFu);
    }

    void open_connection_retries_with_its_own_rhythm() {
        SimCable sim_cable;
        RecordedSleep sleep;
        sim::corrupt_replies(sim::ReplyFault::wrong_status, 1);
        QCOMPARE(open_connection(sim_cable.cable, 2), 0);
        QCOMPARE(sleep.waits(), (std::vector<unsigned>{100, 250, 100, 250}));
        QCOMPARE(sim::dtr_changes(), (std::vector<int>{1, 0, 1}));
        QVERIFY(sim::dtr_high());
        QCOMPARE(sim::call_names(),
                 (std::vector<std::string>{"ftdi_setdtr", "ftdi_usb_purge_buffers",
                                           "ftdi_write_data", "ftdi_read_data", "ftdi_read_data",
                                           "ftdi_setdtr", "ftdi_usb_purge_buffers", "ftdi_setdtr",
                                           "ftdi_usb_purge_buffers", "ftdi_write_data",
                                           "ftdi_read_data", "ftdi_read_data"}));
    }

    void open_connection_gives_up_like_the_others() {
        QFETCH(Setup, setup);
        QFETCH(int, expected);
        SimCable sim_cable;
        RecordedSleep sleep;
        setup();
        QCOMPARE(open_connection(sim_cable.cable, 1), expected);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 20);
        std::vector<unsigned> waits;
        for (int i = 0; i < 20; ++i) {
            waits.insert(waits.end(), {100, 250});
        }
        QCOMPARE(sleep.waits(), waits);
        std::vector<int> dtr = alternating_dtr(20);
        dtr.push_back(0);
        QCOMPARE(sim::dtr_changes(), dtr);
        QVERIFY(!sim::dtr_high());
    }
    void open_connection_gives_up_like_the_others_data() {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<int>("expected");
        QTest::newRow("writes") << Setup([] { sim::fail_writes(20); }) << -3;
        QTest::newRow("chair switched off") << Setup([] { sim::set_silent(true); }) << -4;
        QTest::newRow("no reply") << Setup([] { sim::lose_bytes(sim::FrameKind::reply, 20, 8); })
                                  << -5;
        QTest::newRow("wrong replies")
            << Setup([] { sim::corrupt_replies(sim::ReplyFault::wrong_op, 20); }) << -6;
    }

    void close_connection_refused_twenty_times() {
        SimCable sim_cable;
        RecordedSleep sleep;
        sim::refuse(sim::panel, 14, 0);
        QCOMPARE(close_connection(sim_cable.cable, 2), -6);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 20);
        QVERIFY(!sim::dtr_high());
    }

    void an_exchange_after_a_lost_reply_starts_clean() {
        SimCable sim_cable;
        RecordedSleep sleep;
        // A reply cut short is purged, so the next attempt reads its own frames.
        sim::lose_bytes(sim::FrameKind::reply, 1, 3);
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 1, value), 0);
        QCOMPARE(value, sim::param(sim::drive, 1));
        QCOMPARE(sim::count_calls("ftdi_write_data"), 2);
        QCOMPARE(sim::count_calls("ftdi_usb_purge_buffers"), 1);
    }
};

QTEST_GUILESS_MAIN(AttemptTest)
#include "attempt_test.moc"
