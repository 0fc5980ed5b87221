#include "link/cable.h"
#include "link/exchanges.h"
#include "link/frame.h"
#include "recorded_sleep.h"
#include "sim/sim_chair.h"

#include <ftdi.h>

#include <QtTest>

#include <functional>
#include <memory>

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;
using Setup = std::function<void()>;
Q_DECLARE_METATYPE(Setup)

namespace {

// What a caller's out value holds before an exchange that must leave it alone.
constexpr std::uint32_t untouched = 0xA5A5A5A5;

Bytes bytes_of(const Frame &frame) {
    return {frame.begin(), frame.end()};
}

// The first n calls of opening the cable, reopening it as often as it takes.
Names opening_calls(std::size_t n) {
    static const char *const cycle[] = {"ftdi_usb_open",          "ftdi_read_chipid",
                                        "ftdi_set_baudrate",      "ftdi_set_line_property",
                                        "ftdi_get_latency_timer", "ftdi_set_latency_timer",
                                        "ftdi_usb_close"};
    Names names{"ftdi_new", "ftdi_set_interface"};
    while (names.size() < n) {
        names.emplace_back(cycle[(names.size() - 2) % 7]);
    }
    names.resize(n);
    return names;
}

// One exchange: its request, its result when the device refuses every time, and the data word
// the default chair hands to the exchanges that read one.
struct ExchangeCase {
    const char *name;
    std::function<int(ftdi_context *&, int, std::uint32_t &)> run;
    Frame request;
    int refused;
    std::uint32_t value;
};

const std::vector<ExchangeCase> &exchanges() {
    static const std::vector<ExchangeCase> all{
        {"open_connection", [](auto &c, int s, auto &) { return open_connection(c, s); },
         build_frame(0, 0, 1, 0), 0, untouched},
        {"close_connection", [](auto &c, int s, auto &) { return close_connection(c, s); },
         build_frame(14, 0, 1, 0), -6, untouched},
        {"read_event", [](auto &c, int s, auto &v) { return read_event(c, s, 2, 0x21, v); },
         build_frame(2, 0x21, 2, 0), -7, sim::default_events(sim::drive).at(0x21)},
        {"clear_event", [](auto &c, int s, auto &) { return clear_event(c, s, 2, 0x31); },
         build_frame(6, 0x31, 2, 0), -7, untouched},
        {"read_parameter", [](auto &c, int s, auto &v) { return read_parameter(c, s, 1, 5, v); },
         build_frame(8, 5, 1, 0), -7, 0x0203},
        {"write_parameter",
         [](auto &c, int s, auto &) { return write_parameter(c, s, 2, 15, 0x01020304); },
         build_frame(10, 15, 2, 0x01020304), -7, untouched},
        {"command_04", [](auto &c, int s, auto &) { return command_04(c, s, 1, 7, 0xAB); },
         build_frame(4, 7, 1, 0xAB), -7, untouched},
        {"command_12", [](auto &c, int s, auto &) { return command_12(c, s, 2, 9); },
         build_frame(12, 9, 2, 0), -7, untouched},
        {"command_16", [](auto &c, int s, auto &) { return command_16(c, s, 2, 20, 777); },
         build_frame(16, 20, 2, 777), -6, untouched},
        {"command_18", [](auto &c, int s, auto &) { return command_18(c, s, 2); },
         build_frame(18, 0, 2, 0), -6, untouched},
        {"command_20", [](auto &c, int s, auto &v) { return command_20(c, s, v); },
         build_frame(20, 0, 1, 0), -6, 0x0203},
    };
    return all;
}

// A row of the exchange test; the out value is the exchange's own when it is accepted.
void add_row(
    const QByteArray &name, int which, int result, int writes, const Setup &setup = [] {}) {
    QTest::newRow(name.constData())
        << which << setup << result << writes
        << (result == 0 ? exchanges()[static_cast<std::size_t>(which)].value : untouched);
}

} // namespace

class TestLink : public QObject {
    Q_OBJECT

private slots:
    void frames() {
        QCOMPARE(bytes_of(build_frame(16, 44, 2, 0x89ABCDEF)),
                 (Bytes{16, 44, 2, 0xEF, 0xCD, 0xAB, 0x89, 0x2E}));
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
    }

    void cable_data() {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<int>("opened");
        QTest::addColumn<int>("calls");
        QTest::addColumn<int>("closed");
        // The chip takes a new latency timer only from the next open onwards.
        const auto failing = [](sim::Step step) {
            return Setup([step] {
                sim::set_latency_timer(16);
                sim::fail_step(step);
            });
        };
        QTest::newRow("latency right") << Setup([] {}) << 0 << 7 << 0;
        QTest::newRow("latency set") << Setup([] { sim::set_latency_timer(16); }) << 0 << 14 << 0;
        QTest::newRow("latency stuck")
            << Setup([] { sim::set_latency_timer(2, true); }) << -1 << 28 << 0;
        QTest::newRow("open fails") << failing(sim::Step::usb_open) << -1 << 3 << 0;
        QTest::newRow("latency unread") << failing(sim::Step::get_latency_timer) << -1 << 7 << 0;
        QTest::newRow("latency unset") << failing(sim::Step::set_latency_timer) << -1 << 8 << 0;
        QTest::newRow("reopen unclosed") << failing(sim::Step::usb_close) << -1 << 9 << 0;
        QTest::newRow("DTR unlowered") << failing(sim::Step::setdtr) << 0 << 14 << -1;
        QTest::newRow("close fails")
            << Setup([] { sim::fail_step(sim::Step::usb_close); }) << 0 << 7 << -1;
    }
    void cable() {
        QFETCH(Setup, setup);
        QFETCH(int, opened);
        QFETCH(int, calls);
        QFETCH(int, closed);
        sim::reset();
        setup();
        ftdi_context *cable = nullptr;
        QCOMPARE(open_cable(cable, user_cable_product_id), opened);
        Names names = opening_calls(static_cast<std::size_t>(calls));
        if (opened != 0) {
            names.emplace_back("ftdi_free");
        }
        QCOMPARE(sim::call_names(), names);
        QCOMPARE(cable == nullptr, opened != 0);
        QCOMPARE(sim::live_contexts(), opened == 0 ? 1 : 0);
        if (calls >= 7) {
            const std::vector<sim::Call> made = sim::calls();
            QCOMPARE(made[2].args, (std::vector<long>{ftdi_vendor_id, user_cable_product_id}));
            QCOMPARE(made[4].args, std::vector<long>{4800});
            QCOMPARE(made[5].args, (std::vector<long>{BITS_8, STOP_BIT_1, NONE}));
        }
        if (opened == 0) {
            sim::clear_record();
            QCOMPARE(close_cable(cable), closed);
            // The context is released even when lowering DTR or closing failed.
            QCOMPARE(sim::live_contexts(), 0);
            QVERIFY(closed != 0 || sim::dtr_changes() == std::vector<int>{0});
        }
    }

    void exchange_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("writes");
        QTest::addColumn<quint32>("value");
        for (int i = 0; i < static_cast<int>(exchanges().size()); ++i) {
            const ExchangeCase &e = exchanges()[static_cast<std::size_t>(i)];
            add_row(e.name, i, 0, 1);
            // A refusal ends most exchanges at once; some take it for a wrong reply and retry,
            // the opening for acceptance.
            add_row(QByteArray(e.name) + ", refused", i, e.refused, e.refused == -6 ? 20 : 1,
                    [e] { sim::refuse(e.request[2], e.request[0], e.request[1]); });
        }
        const auto replies = [](sim::ReplyFault fault, int count) {
            return Setup([=] { sim::corrupt_replies(fault, count); });
        };
        // The attempt loop on a spoiled line: each kind of failure gives up at its twentieth.
        const int read = 5;
        add_row("short writes", read, -3, 20, [] { sim::fail_writes(20, 5); });
        add_row("silent chair", read, -4, 20, [] { sim::set_silent(true); });
        add_row("reply a byte short", read, -5, 20,
                [] { sim::lose_bytes(sim::FrameKind::reply, 20); });
        add_row("bad checksum", read, -6, 20, replies(sim::ReplyFault::bad_checksum, 20));
        add_row("wrong op", read, -6, 20, replies(sim::ReplyFault::wrong_op, 20));
        add_row("wrong address", read, -6, 20, replies(sim::ReplyFault::wrong_address, 20));
        // A read never asks for more than is missing, and purges a frame it gave up on, so no
        // byte of one frame is taken for another's.
        add_row("frames in pieces", read, 0, 1, [] { sim::set_read_pieces({3, 8}); });
        // The echo comes at once, the reply only at the reader's 20th call: taken. At its 21st it
        // is given up and purged, so the next attempt reads its own frames.
        const auto reply_at = [](int call) {
            std::vector<int> pieces(static_cast<std::size_t>(call) + 1, 0);
            pieces.front() = pieces.back() = 8;
            return Setup([pieces] { sim::set_read_pieces(pieces); });
        };
        add_row("reply at the 20th read", read, 0, 1, reply_at(20));
        add_row("reply at the 21st read", read, 0, 2, reply_at(21));
        add_row("opening retried", 0, 0, 2, replies(sim::ReplyFault::wrong_status, 1));
        add_row("opening a switched-off chair", 0, -4, 20, [] { sim::set_silent(true); });
        // Only the reply is examined, and its data word is taken whole, never compared.
        add_row("echo not examined", 2, 0, 1, [] {
            sim::queue_raw(sim::FrameKind::echo, {0xFF, 0, 0x13, 0x37, 1, 2, 3, 4});
        });
        QTest::newRow("reply data taken whole") << 2 << Setup([] {
            sim::queue_raw(sim::FrameKind::reply, bytes_of(build_frame(3, 1, 0, 0xFFFFFFFF)));
        }) << 0 << 1 << quint32(0xFFFFFFFF);
    }
    void exchange() {
        QFETCH(int, which);
        QFETCH(Setup, setup);
        QFETCH(int, result);
        QFETCH(int, writes);
        QFETCH(quint32, value);
        const ExchangeCase &exchange = exchanges().at(static_cast<std::size_t>(which));
        const bool opens = exchange.request[0] == 0;
        const RecordedSleep sleep;
        sim::reset();
        ftdi_context *cable = nullptr;
        QCOMPARE(open_cable(cable, service_cable_product_id), 0);
        const std::unique_ptr<ftdi_context, int (*)(ftdi_context *)> closing(cable, close_cable);
        sim::clear_record();
        std::uint32_t out = untouched;
        // Without a cable, or before the connection is open, nothing reaches the line.
        QCOMPARE(exchange.run(cable, 0, out), -1);
        QVERIFY(opens || exchange.run(cable, 1, out) == -2);
        QVERIFY(sim::calls().empty());
        setup();
        QCOMPARE(exchange.run(cable, opens ? 1 : 2, out), result);
        QCOMPARE(out, value);
        QCOMPARE(sim::count_calls("ftdi_write_data"), writes);
        for (const Bytes &frame : sim::written_frames()) {
            QCOMPARE(frame, bytes_of(exchange.request));
        }
        // Every attempt but a refused one ends with the protocol's wait.
        using Waits = std::vector<unsigned>;
        const Waits each = opens ? Waits{100, 250} : Waits{50};
        Waits waits;
        for (int i = result == -7 ? 1 : 0; i < writes; ++i) {
            waits.insert(waits.end(), each.begin(), each.end());
        }
        QCOMPARE(sleep.waits(), waits);
        // The line stays raised between exchanges, unless the connection was closed or lost.
        QCOMPARE(sim::dtr_high(), (result == 0 || result == -7) && exchange.request[0] != 14);
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
