#include "link/exchanges.h"
#include "sim_cable.h"

#include <QtTest>

#include <functional>

using Setup = std::function<void()>;
Q_DECLARE_METATYPE(Setup)

namespace {

Bytes reply_bytes(std::uint8_t op, std::uint8_t status, std::uint32_t data) {
    return bytes_of(build_frame(op, status, 0, data));
}

Setup bad_replies(sim::ReplyFault fault) {
    return [fault] { sim::corrupt_replies(fault, 20); };
}

} // namespace

class AttemptTest : public QObject {
    Q_OBJECT

private slots:
    void gives_up_when_one_kind_of_failure_reaches_twenty() {
        QFETCH(Setup, setup);
        QFETCH(int, expected);
        QFETCH(int, reads);
        QuietCable rig;
        setup();
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(rig.cable, 2, 2, 5, value), expected);
        QCOMPARE(value, untouched);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 20);
        // A failed step ends its attempt at once.
        QCOMPARE(sim::count_calls("ftdi_read_data"), reads);
        QCOMPARE(rig.sleep.waits(), std::vector<unsigned>(20, 50));
        QCOMPARE(sim::dtr_changes(), (std::vector<int>{1, 0}));
    }
    void gives_up_when_one_kind_of_failure_reaches_twenty_data() {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("reads");
        QTest::newRow("short writes") << Setup([] { sim::fail_writes(20, 5); }) << -3 << 0;
        QTest::newRow("failed writes") << Setup([] { sim::fail_writes(20, -1); }) << -3 << 0;
        QTest::newRow("silent chair") << Setup([] { sim::set_silent(true); }) << -4 << 400;
        QTest::newRow("reply short of a byte")
            << Setup([] { sim::lose_bytes(sim::FrameKind::reply, 20, 1); }) << -5 << 420;
        QTest::newRow("bad checksum") << bad_replies(sim::ReplyFault::bad_checksum) << -6 << 40;
        QTest::newRow("wrong op") << bad_replies(sim::ReplyFault::wrong_op) << -6 << 40;
        QTest::newRow("wrong status") << bad_replies(sim::ReplyFault::wrong_status) << -6 << 40;
        QTest::newRow("wrong address") << bad_replies(sim::ReplyFault::wrong_address) << -6 << 40;
    }

    void failures_short_of_twenty_are_retried() {
        QuietCable rig;
        sim::corrupt_replies(sim::ReplyFault::wrong_status, 1);
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(rig.cable, 2, 2, 4, value), 0);
        QCOMPARE(value, 0x0100u);
        const auto frames = sim::written_frames();
        QCOMPARE(frames.size(), std::size_t{2});
        QCOMPARE(frames[0], frames[1]);
        QCOMPARE(rig.sleep.waits(), (std::vector<unsigned>{50, 50}));
        QCOMPARE(sim::dtr_changes(), std::vector<int>{1});
        // A reply is only purged by the read that misses it, never between attempts.
        QCOMPARE(sim::count_calls("ftdi_usb_purge_buffers"), 0);
        sim::fail_writes(19, 7);
        QCOMPARE(write_parameter(rig.cable, 2, 2, 20, 417), 0);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 22);
        QCOMPARE(sim::param(sim::drive, 20), 417u);
        QVERIFY(sim::dtr_high());
    }

    void counters_add_up_across_kinds_to_seventy_seven_attempts() {
        QFETCH(int, last_kind);
        QFETCH(int, expected);
        QuietCable rig;
        const Bytes echo = bytes_of(build_frame(8, 5, 2, 0));
        // One attempt failing in the given way: 0 write, 1 discard, 2 reply, 3 wrong reply.
        int good_writes = 0;
        const auto fail_once = [&](int kind) {
            if (kind == 0) {
                sim::fail_writes(1, -1, good_writes);
                good_writes = 0;
                return;
            }
            ++good_writes;
            sim::queue_raw(sim::FrameKind::echo, kind == 1 ? Bytes{} : echo);
            sim::queue_raw(sim::FrameKind::reply, kind == 3 ? reply_bytes(9, 2, 0) : Bytes{});
        };
        // Interleaved, so a counter set back by another kind's failure would never reach 20.
        for (int round = 0; round < 19; ++round) {
            for (int kind = 0; kind < 4; ++kind) {
                fail_once(kind);
            }
        }
        fail_once(last_kind);
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(rig.cable, 2, 2, 5, value), expected);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 77);
        QCOMPARE(rig.sleep.waits(), std::vector<unsigned>(77, 50));
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

    void only_the_reply_is_examined_and_its_data_is_not_compared() {
        QuietCable rig;
        const Bytes garbage{0xFF, 0, 0x13, 0x37, 1, 2, 3, 4};
        for (const Bytes &echo : {garbage, reply_bytes(9, 0xEE, 0), reply_bytes(9, 1, 999)}) {
            sim::queue_raw(sim::FrameKind::echo, echo);
            std::uint32_t value = untouched;
            QCOMPARE(read_parameter(rig.cable, 2, 2, 3, value), 0);
            QCOMPARE(value, 123456u);
        }
        QCOMPARE(sim::count_calls("ftdi_write_data"), 3);
        sim::queue_raw(sim::FrameKind::reply, {0x03, 0x01, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x2E});
        sim::queue_raw(sim::FrameKind::reply, reply_bytes(3, 1, 0xFFFFFFFF));
        std::uint32_t value = untouched;
        QCOMPARE(read_event(rig.cable, 2, 1, 1, value), 0);
        QCOMPARE(value, 42u);
        QCOMPARE(read_event(rig.cable, 2, 1, 1, value), 0);
        QCOMPARE(value, 0xFFFFFFFFu);
    }

    void open_connection_retries_with_its_own_rhythm() {
        QuietCable rig;
        sim::corrupt_replies(sim::ReplyFault::wrong_status, 1);
        QCOMPARE(open_connection(rig.cable, 2), 0);
        QCOMPARE(rig.sleep.waits(), (std::vector<unsigned>{100, 250, 100, 250}));
        QCOMPARE(sim::dtr_changes(), (std::vector<int>{1, 0, 1}));
        // Purged before each attempt and after the failed one.
        QCOMPARE(sim::count_calls("ftdi_usb_purge_buffers"), 3);
    }

    void open_connection_gives_up_like_the_others() {
        QFETCH(Setup, setup);
        QFETCH(int, expected);
        QuietCable rig;
        setup();
        QCOMPARE(open_connection(rig.cable, 1), expected);
        QCOMPARE(sim::count_calls("ftdi_write_data"), 20);
        std::vector<unsigned> waits;
        std::vector<int> dtr;
        for (int i = 0; i < 20; ++i) {
            waits.insert(waits.end(), {100, 250});
            dtr.insert(dtr.end(), {1, 0});
        }
        dtr.push_back(0);
        QCOMPARE(rig.sleep.waits(), waits);
        QCOMPARE(sim::dtr_changes(), dtr);
    }
    void open_connection_gives_up_like_the_others_data() {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<int>("expected");
        QTest::newRow("writes") << Setup([] { sim::fail_writes(20); }) << -3;
        QTest::newRow("chair switched off") << Setup([] { sim::set_silent(true); }) << -4;
        QTest::newRow("no reply") << Setup([] { sim::lose_bytes(sim::FrameKind::reply, 20, 8); })
                                  << -5;
        QTest::newRow("wrong replies") << bad_replies(sim::ReplyFault::wrong_op) << -6;
    }
};

QTEST_GUILESS_MAIN(AttemptTest)
#include "attempt_test.moc"
