#include "link/exchanges.h"
#include "sim_cable.h"

#include <QtTest>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

namespace {

using Waits = std::vector<unsigned>;
using Dtr = std::vector<int>;
using Run = std::function<int(ftdi_context *&, int, std::uint32_t &)>;

// One exchange as the chair sees it: its request, its result when the device refuses every
// time, and the data word the default chair hands over to the exchanges that read one.
struct ExchangeCase {
    // cppcheck-suppress unusedStructMember ; names the data rows
    const char *name;
    Run run;
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
        {"command_04", [](auto &c, int s, auto &) { return command_04(c, s, 2, 5, 0x7F); },
         build_frame(4, 5, 2, 0x7F), -7, untouched},
        {"clear_event", [](auto &c, int s, auto &) { return clear_event(c, s, 2, 0x31); },
         build_frame(6, 0x31, 2, 0), -7, untouched},
        {"read_parameter", [](auto &c, int s, auto &v) { return read_parameter(c, s, 1, 5, v); },
         build_frame(8, 5, 1, 0), -7, 0x0203},
        {"write_parameter",
         [](auto &c, int s, auto &) { return write_parameter(c, s, 2, 15, 0x01020304); },
         build_frame(10, 15, 2, 0x01020304), -7, untouched},
        {"command_12", [](auto &c, int s, auto &) { return command_12(c, s, 2, 7); },
         build_frame(12, 7, 2, 0), -7, untouched},
        {"command_16", [](auto &c, int s, auto &) { return command_16(c, s, 2, 20, 777); },
         build_frame(16, 20, 2, 777), -6, untouched},
        {"command_18", [](auto &c, int s, auto &) { return command_18(c, s, 2); },
         build_frame(18, 0, 2, 0), -6, untouched},
        {"command_20", [](auto &c, int s, auto &v) { return command_20(c, s, v); },
         build_frame(20, 0, 1, 0), -6, 0x0203},
    };
    return all;
}

void add_exchange_rows() {
    QTest::addColumn<int>("which");
    for (std::size_t i = 0; i < exchanges().size(); ++i) {
        QTest::newRow(exchanges()[i].name) << static_cast<int>(i);
    }
}

const ExchangeCase &fetch_case() {
    QFETCH(int, which);
    return exchanges().at(static_cast<std::size_t>(which));
}

// Spoils the line in a few random ways, each bounded; a count of 0 leaves that fault out.
void spoil_the_line(std::mt19937 &random) {
    const auto pick = [&random](int n) { return std::uniform_int_distribution<int>(0, n)(random); };
    const auto sometimes = [&pick](int n) { return pick(3) == 0 ? pick(n) : 0; };
    sim::fail_writes(sometimes(25), pick(1) == 0 ? -1 : pick(7));
    sim::lose_bytes(pick(1) == 0 ? sim::FrameKind::echo : sim::FrameKind::reply, sometimes(25),
                    pick(8));
    sim::delay_reads(sometimes(500));
    sim::set_read_pieces(pick(3) == 0 ? std::vector<int>{pick(8), pick(8), pick(8)}
                                      : std::vector<int>{});
    sim::corrupt_replies(static_cast<sim::ReplyFault>(pick(3)), sometimes(25));
    for (int n = pick(30); n > 0; --n) {
        Bytes bytes(static_cast<std::size_t>(pick(12)));
        std::generate(bytes.begin(), bytes.end(),
                      [&pick] { return static_cast<std::uint8_t>(pick(255)); });
        if (bytes.size() >= 8 && pick(1) == 0) {
            // Now and then a well-formed frame, so the checks past the checksum are reached.
            bytes[7] = frame_checksum(
                Frame{bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], 0});
        }
        sim::queue_raw(pick(1) == 0 ? sim::FrameKind::echo : sim::FrameKind::reply, bytes);
    }
    sim::set_silent(pick(20) == 0);
    if (pick(20) == 0) {
        sim::unplug_after(pick(200));
    }
}

} // namespace

class ExchangeTest : public QObject {
    Q_OBJECT

private slots:
    void runs_at_its_link_state_and_takes_the_acceptance() {
        const ExchangeCase &exchange = fetch_case();
        const bool opens = exchange.request[0] == 0;
        const bool closes = exchange.request[0] == 14;
        QuietCable rig;
        std::uint32_t value = untouched;
        QCOMPARE(exchange.run(rig.cable, 0, value), -1);
        if (!opens) {
            QCOMPARE(exchange.run(rig.cable, 1, value), -2);
        }
        QVERIFY(sim::calls().empty());
        QVERIFY(rig.sleep.waits().empty());
        QCOMPARE(value, untouched);
        QCOMPARE(exchange.run(rig.cable, opens ? 1 : 2, value), 0);
        QCOMPARE(sim::written_frames(), std::vector<Bytes>{bytes_of(exchange.request)});
        QCOMPARE(value, exchange.value);
        std::vector<std::string> calls{"ftdi_setdtr", "ftdi_write_data", "ftdi_read_data",
                                       "ftdi_read_data"};
        if (opens) {
            calls.insert(calls.begin() + 1, "ftdi_usb_purge_buffers");
        }
        if (closes) {
            calls.emplace_back("ftdi_setdtr");
        }
        QCOMPARE(sim::call_names(), calls);
        QCOMPARE(rig.sleep.waits(), (opens ? Waits{100, 250} : Waits{50}));
        QCOMPARE(sim::dtr_changes(), (closes ? Dtr{1, 0} : Dtr{1}));
    }
    void runs_at_its_link_state_and_takes_the_acceptance_data() { add_exchange_rows(); }

    void handles_a_refusal_its_own_way() {
        const ExchangeCase &exchange = fetch_case();
        const bool retried = exchange.refused == -6;
        QuietCable rig;
        sim::refuse(exchange.request[2], exchange.request[0], exchange.request[1]);
        std::uint32_t value = untouched;
        QCOMPARE(exchange.run(rig.cable, 2, value), exchange.refused);
        QCOMPARE(value, untouched);
        QCOMPARE(sim::written_frames().size(), std::size_t{retried ? 20u : 1u});
        QCOMPARE(rig.sleep.waits(),
                 (exchange.refused == 0 ? Waits{100, 250} : Waits(retried ? 20 : 0, 50)));
        QCOMPARE(sim::dtr_changes(), (retried ? Dtr{1, 0} : Dtr{1}));
    }
    void handles_a_refusal_its_own_way_data() { add_exchange_rows(); }

    void random_line_faults_end_in_a_known_code() {
        // A fixed seed, so that a failing round replays exactly.
        std::mt19937 random(20240611); // NOLINT(cert-msc51-cpp)
        const auto pick = [&random](int n) {
            return std::uniform_int_distribution<int>(0, n)(random);
        };
        std::set<int> seen;
        for (int round = 0; round < 600; ++round) {
            const ExchangeCase &exchange = exchanges().at(static_cast<std::size_t>(pick(10)));
            QuietCable rig;
            spoil_the_line(random);
            if (pick(4) == 0) {
                sim::refuse(exchange.request[2], exchange.request[0], exchange.request[1]);
            }
            std::uint32_t value = untouched;
            const int result = exchange.run(rig.cable, pick(6) == 0 ? 1 : 2, value);
            seen.insert(result);
            QVERIFY2((result <= 0 && result >= -6 && result != -1) ||
                         (result == -7 && exchange.refused == -7),
                     qPrintable(QString::number(result)));
            if (result != 0 || exchange.value == untouched) {
                QCOMPARE(value, untouched);
            }
            // 77 attempts at most, each at most a write, 40 reads, their purges and DTR changes.
            QVERIFY(sim::calls().size() <= std::size_t{77} * 50);
            QVERIFY(rig.sleep.waits().size() <= std::size_t{2} * 77);
            if (result <= -3 && result >= -6 && sim::count_calls("ftdi_setdtr") > 0) {
                QCOMPARE(sim::call_names().back(), std::string("ftdi_setdtr"));
            }
        }
        // The run is only worth something if it reached every outcome.
        for (int code : {0, -2, -3, -4, -5, -6, -7}) {
            QVERIFY2(seen.count(code) == 1, qPrintable(QString::number(code)));
        }
    }
};

QTEST_GUILESS_MAIN(ExchangeTest)
#include "exchange_test.moc"
