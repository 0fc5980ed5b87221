#include "sim_cable.h"

#include <QtTest>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

class FrameTest : public QObject {
    Q_OBJECT

private slots:
    void build_frame_lays_out_request_data() {
        QFETCH(int, op);
        QFETCH(int, index);
        QFETCH(int, device);
        QFETCH(quint32, data);
        QFETCH(Bytes, expected);
        const Frame frame =
            build_frame(static_cast<std::uint8_t>(op), static_cast<std::uint8_t>(index),
                        static_cast<std::uint8_t>(device), data);
        QCOMPARE(bytes_of(frame), expected);
        QCOMPARE(frame_checksum(frame), expected[7]);
    }
    void build_frame_lays_out_request_data_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("device");
        QTest::addColumn<quint32>("data");
        QTest::addColumn<Bytes>("expected");
        QTest::newRow("read drive parameter 5")
            << 8 << 5 << 2 << 0u << Bytes{0x08, 0x05, 0x02, 0, 0, 0, 0, 0x0F};
        QTest::newRow("write 258 to drive parameter 3")
            << 10 << 3 << 2 << 258u << Bytes{0x0A, 0x03, 0x02, 0x02, 0x01, 0, 0, 0x12};
        QTest::newRow("open connection") << 0 << 0 << 1 << 0u << Bytes{0, 0, 1, 0, 0, 0, 0, 1};
        QTest::newRow("data little-endian, checksum wraps")
            << 3 << 0xEE << 0 << 0x0000FFFFu << Bytes{0x03, 0xEE, 0, 0xFF, 0xFF, 0, 0, 0xEF};
        QTest::newRow("all data bytes")
            << 16 << 44 << 2 << 0x89ABCDEFu << Bytes{16, 44, 2, 0xEF, 0xCD, 0xAB, 0x89, 0x2E};
    }

    void frame_data_reads_little_endian_signed_word() {
        QCOMPARE(frame_data(build_frame(9, 1, 0, 42)), 42);
        QCOMPARE(frame_data(build_frame(9, 1, 0, 0x01020304)), 0x01020304);
        QCOMPARE(frame_data(build_frame(9, 1, 0, 0xFFFFFFFEu)), -2);
    }

    void compare_frame_selects_bytes_by_mask() {
        QFETCH(int, changed_byte);
        QFETCH(int, mask);
        QFETCH(int, expected);
        const Frame expected_frame = build_frame(9, 1, 0, 0x44332211);
        Frame received = expected_frame;
        received[changed_byte] = static_cast<std::uint8_t>(received[changed_byte] + 1);
        received[7] = frame_checksum(received);
        QCOMPARE(compare_frame(received, expected_frame, static_cast<std::uint8_t>(mask)),
                 expected);
    }
    void compare_frame_selects_bytes_by_mask_data() {
        QTest::addColumn<int>("changed_byte");
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("expected");
        const int bit_of_byte[7] = {0x80, 0x20, 0x40, 0x10, 0x08, 0x04, 0x02};
        for (int byte = 0; byte < 7; ++byte) {
            const int bit = bit_of_byte[byte];
            QTest::addRow("byte %d under its own bit", byte) << byte << bit << -1;
            QTest::addRow("byte %d under every other bit", byte) << byte << (0xFF & ~bit) << 0;
        }
        QTest::newRow("data ignored by the reply mask") << 3 << 0xE0 << 0;
        QTest::newRow("status compared by bit 5, not 6") << 1 << 0x40 << 0;
        QTest::newRow("address compared by bit 6, not 5") << 2 << 0x20 << 0;
    }

    void compare_frame_ignores_data_under_reply_mask() {
        const Frame expected = build_frame(9, 1, 0, 0);
        QCOMPARE(compare_frame(build_frame(9, 1, 0, 0xDEADBEEF), expected, 0xE0), 0);
        QCOMPARE(compare_frame(build_frame(9, 0xEE, 0, 0), expected, 0xE0), -1);
        QCOMPARE(compare_frame(build_frame(11, 1, 0, 0), expected, 0xE0), -1);
        QCOMPARE(compare_frame(build_frame(9, 1, 2, 0), expected, 0xE0), -1);
    }

    void compare_frame_with_mask_zero_checks_only_the_checksum() {
        const Frame anything = build_frame(0x55, 0x66, 0x77, 0x12345678);
        const Frame other = build_frame(1, 2, 3, 4);
        QCOMPARE(compare_frame(anything, other, 0), 0);
        Frame broken = anything;
        ++broken[7];
        QCOMPARE(compare_frame(broken, other, 0), -1);
    }

    void compare_frame_never_matches_a_bad_checksum() {
        const Frame expected = build_frame(9, 1, 0, 7);
        for (int mask = 0; mask < 256; ++mask) {
            Frame received = expected;
            received[7] = static_cast<std::uint8_t>(received[7] ^ 0x10);
            QCOMPARE(compare_frame(received, expected, static_cast<std::uint8_t>(mask)), -1);
        }
        // The expected frame's own checksum plays no part.
        const Frame &reply = expected;
        Frame sloppy = expected;
        sloppy[7] = 0;
        QCOMPARE(compare_frame(reply, sloppy, 0xFF), 0);
    }

    void read_frame_takes_a_whole_frame_in_one_call() {
        SimCable sim_cable;
        Frame request = build_frame(8, 5, 2, 0);
        QCOMPARE(ftdi_write_data(sim_cable.cable, request.data(), 8), 8);
        Frame echo{};
        QCOMPARE(read_frame(sim_cable.cable, echo), 8);
        QCOMPARE(echo, request);
        Frame reply{};
        QCOMPARE(read_frame(sim_cable.cable, reply), 8);
        QCOMPARE(bytes_of(reply), bytes_of(build_frame(9, 1, 0, 0x0204)));
        QCOMPARE(read_sizes(), (std::vector<long>{8, 8}));
    }

    void read_frame_assembles_pieces_without_taking_the_next_frame() {
        SimCable sim_cable;
        sim::set_read_pieces({3, 5, 2, 2, 2, 2});
        Frame request = build_frame(8, 5, 2, 0);
        ftdi_write_data(sim_cable.cable, request.data(), 8);
        Frame echo{};
        QCOMPARE(read_frame(sim_cable.cable, echo), 8);
        QCOMPARE(echo, request);
        Frame reply{};
        QCOMPARE(read_frame(sim_cable.cable, reply), 8);
        QCOMPARE(frame_data(reply), 0x0204);
        QCOMPARE(read_sizes(), (std::vector<long>{8, 5, 8, 6, 4, 2}));
        QCOMPARE(sim::count_calls("ftdi_usb_purge_buffers"), 0);
    }

    void read_frame_completed_by_the_twentieth_call() {
        SimCable sim_cable;
        Frame request = build_frame(8, 5, 2, 0);
        ftdi_write_data(sim_cable.cable, request.data(), 8);
        sim::delay_reads(19);
        Frame echo{};
        QCOMPARE(read_frame(sim_cable.cable, echo), 8);
        QCOMPARE(echo, request);
        QCOMPARE(read_sizes().size(), std::size_t{20});
        QCOMPARE(sim::count_calls("ftdi_usb_purge_buffers"), 0);
    }

    void read_frame_gives_up_after_twenty_calls_and_purges() {
        SimCable sim_cable;
        Frame request = build_frame(8, 5, 2, 0);
        sim::lose_bytes(sim::FrameKind::reply, 1, 5);
        ftdi_write_data(sim_cable.cable, request.data(), 8);
        Frame echo{};
        QCOMPARE(read_frame(sim_cable.cable, echo), 8);
        sim::clear_record();
        sim::set_read_pieces({1});
        Frame reply{};
        QCOMPARE(read_frame(sim_cable.cable, reply), -5);
        const std::vector<long> sizes = read_sizes();
        QCOMPARE(sizes.size(), std::size_t{20});
        QCOMPARE(sizes[0], 8L);
        QCOMPARE(sizes[1], 7L);
        QCOMPARE(sizes[2], 6L);
        QCOMPARE(sizes[19], 5L);
        QCOMPARE(sim::call_names().back(), std::string("ftdi_usb_purge_buffers"));
    }

    void read_frame_purge_drops_a_partial_frame() {
        SimCable sim_cable;
        sim::delay_reads(20);
        Frame request = build_frame(8, 5, 2, 0);
        ftdi_write_data(sim_cable.cable, request.data(), 8);
        Frame frame{};
        QCOMPARE(read_frame(sim_cable.cable, frame), -5);
        // Both frames were waiting; the purge threw them away.
        QCOMPARE(read_frame(sim_cable.cable, frame), -5);
        QCOMPARE(sim::count_calls("ftdi_usb_purge_buffers"), 2);
    }

    void read_frame_returns_a_driver_error_at_once() {
        SimCable sim_cable;
        sim::unplug_after(0);
        Frame frame{};
        const int result = read_frame(sim_cable.cable, frame);
        QVERIFY(result < 0);
        QVERIFY(result != -5);
        QCOMPARE(read_sizes().size(), std::size_t{1});
        QCOMPARE(sim::count_calls("ftdi_usb_purge_buffers"), 0);
    }
};

QTEST_GUILESS_MAIN(FrameTest)
#include "frame_test.moc"
