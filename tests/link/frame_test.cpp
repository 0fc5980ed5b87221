#include "sim_cable.h"

#include <QtTest>

class FrameTest : public QObject {
    Q_OBJECT

private slots:
    void build_frame_lays_out_little_endian_data_and_checksum() {
        struct Row {
            std::uint8_t op, index, device;
            std::uint32_t data;
            Bytes expected;
        };
        const Row rows[] = {
            {8, 5, 2, 0, {0x08, 0x05, 0x02, 0, 0, 0, 0, 0x0F}},
            {10, 3, 2, 258, {0x0A, 0x03, 0x02, 0x02, 0x01, 0, 0, 0x12}},
            {0, 0, 1, 0, {0, 0, 1, 0, 0, 0, 0, 1}},
            {3, 0xEE, 0, 0xFFFF, {0x03, 0xEE, 0, 0xFF, 0xFF, 0, 0, 0xEF}},
            {16, 44, 2, 0x89ABCDEF, {16, 44, 2, 0xEF, 0xCD, 0xAB, 0x89, 0x2E}},
        };
        for (const Row &row : rows) {
            const Frame frame = build_frame(row.op, row.index, row.device, row.data);
            QCOMPARE(bytes_of(frame), row.expected);
            QCOMPARE(frame_checksum(frame), row.expected[7]);
        }
        QCOMPARE(frame_data(build_frame(9, 1, 0, 0x01020304)), 0x01020304);
        QCOMPARE(frame_data(build_frame(9, 1, 0, 0xFFFFFFFEu)), -2);
    }

    void compare_frame_selects_bytes_by_mask() {
        // Bits 6 and 5 select bytes 2 and 1, crossed.
        const int bit_of_byte[7] = {0x80, 0x20, 0x40, 0x10, 0x08, 0x04, 0x02};
        const Frame expected = build_frame(9, 1, 0, 0x44332211);
        for (int byte = 0; byte < 7; ++byte) {
            Frame received = expected;
            ++received[byte];
            received[7] = frame_checksum(received);
            QCOMPARE(compare_frame(received, expected, bit_of_byte[byte]), -1);
            QCOMPARE(compare_frame(received, expected, 0xFF & ~bit_of_byte[byte]), 0);
        }
        QCOMPARE(compare_frame(build_frame(9, 1, 0, 0xDEADBEEF), expected, 0xE0), 0);
    }

    void compare_frame_checks_only_the_received_checksum() {
        const Frame sound = build_frame(9, 1, 0, 7);
        QCOMPARE(compare_frame(build_frame(0x55, 0x66, 0x77, 0x12345678), sound, 0), 0);
        Frame spoiled = sound;
        spoiled[7] ^= 0x10;
        for (int mask = 0; mask < 256; ++mask) {
            QCOMPARE(compare_frame(spoiled, sound, static_cast<std::uint8_t>(mask)), -1);
        }
        // Only the received frame's own checksum counts, never the expected one's.
        QCOMPARE(compare_frame(sound, spoiled, 0xFF), 0);
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

    void read_frame_makes_at_most_twenty_calls_then_purges() {
        SimCable sim_cable;
        Frame request = build_frame(8, 5, 2, 0);
        sim::lose_bytes(sim::FrameKind::reply, 1, 5);
        ftdi_write_data(sim_cable.cable, request.data(), 8);
        sim::delay_reads(19);
        Frame frame{};
        QCOMPARE(read_frame(sim_cable.cable, frame), 8);
        QCOMPARE(frame, request);
        QCOMPARE(read_sizes().size(), std::size_t{20});
        QCOMPARE(sim::count_calls("ftdi_usb_purge_buffers"), 0);
        sim::clear_record();
        sim::set_read_pieces({1});
        QCOMPARE(read_frame(sim_cable.cable, frame), -5);
        const std::vector<long> sizes = read_sizes();
        QCOMPARE(sizes.size(), std::size_t{20});
        QCOMPARE(std::vector<long>(sizes.begin(), sizes.begin() + 3), (std::vector<long>{8, 7, 6}));
        QCOMPARE(sizes[19], 5L);
        QCOMPARE(sim::call_names().back(), std::string("ftdi_usb_purge_buffers"));
    }

    void read_frame_returns_a_driver_error_at_once() {
        SimCable sim_cable;
        sim::unplug_after(0);
        Frame frame{};
        const int result = read_frame(sim_cable.cable, frame);
        QVERIFY(result < 0 && result != -5);
        QCOMPARE(read_sizes().size(), std::size_t{1});
        QCOMPARE(sim::count_calls("ftdi_usb_purge_buffers"), 0);
    }
};

QTEST_GUILESS_MAIN(FrameTest)
#include "frame_test.moc"
