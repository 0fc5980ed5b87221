#include "link/exchanges.h"
#include "recorded_sleep.h"
#include "sim_cable.h"

#include <QtTest>

#include <functional>

namespace {

constexpr std::uint32_t untouched = 0xA5A5A5A5;

enum class OnRefusal { accepted, refused, retried };

// One exchange as the chair sees it.
struct ExchangeCase {
    const char *name;
    std::function<int(ftdi_context *&, int, std::uint32_t &)> run;
    Frame request;
    OnRefusal on_refusal;
    std::vector<unsigned> accepted_waits;
    std::vector<int> accepted_dtr;
    // The data word the default chair answers, for the exchanges that hand it over.
    std::uint32_t value;
};

std::vector<ExchangeCase> all_exchanges() {
    const std::vector<unsigned> waits{50};
    const std::vector<int> dtr{1};
    return {
        {"open_connection",
         [](ftdi_context *&c, int s, std::uint32_t &) { return open_connection(c, s); },
         build_frame(0, 0, 1, 0),
         OnRefusal::accepted,
         {100, 250},
         {1},
         untouched},
        {"close_connection",
         [](ftdi_context *&c, int s, std::uint32_t &) { return close_connection(c, s); },
         build_frame(14, 0, 1, 0),
         OnRefusal::retried,
         waits,
         {1, 0},
         untouched},
        {"read_event",
         [](ftdi_context *&c, int s, std::uint32_t &v) { return read_event(c, s, 2, 0x21, v); },
         build_frame(2, 0x21, 2, 0), OnRefusal::refused, waits, dtr,
         sim::default_events(sim::drive).at(0x21)},
        {"command_04",
         [](ftdi_context *&c, int s, std::uint32_t &) { return command_04(c, s, 2, 5, 0x7F); },
         build_frame(4, 5, 2, 0x7F), OnRefusal::refused, waits, dtr, untouched},
        {"clear_event",
         [](ftdi_context *&c, int s, std::uint32_t &) { return clear_event(c, s, 2, 0x31); },
         build_frame(6, 0x31, 2, 0), OnRefusal::refused, waits, dtr, untouched},
        {"read_parameter",
         [](ftdi_context *&c, int s, std::uint32_t &v) { return read_parameter(c, s, 1, 5, v); },
         build_frame(8, 5, 1, 0), OnRefusal::refused, waits, dtr, 0x0203},
        {"write_parameter",
         [](ftdi_context *&c, int s, std::uint32_t &) {
             return write_parameter(c, s, 2, 15, 0x01020304);
         },
         build_frame(10, 15, 2, 0x01020304), OnRefusal::refused, waits, dtr, untouched},
        {"command_12",
         [](ftdi_context *&c, int s, std::uint32_t &) { return command_12(c, s, 2, 7); },
         build_frame(12, 7, 2, 0), OnRefusal::refused, waits, dtr, untouched},
        {"command_16",
         [](ftdi_context *&c, int s, std::uint32_t &) { return command_16(c, s, 2, 20, 777); },
         build_frame(16, 20, 2, 777), OnRefusal::retried, waits, dtr, untouched},
        {"command_18", [](ftdi_context *&c, int s, std::uint32_t &) { return command_18(c, s, 2); },
         build_frame(18, 0, 2, 0), OnRefusal::retried, waits, dtr, untouched},
        {"command_20",
         [](ftdi_context *&c, int s, std::uint32_t &v) { return command_20(c, s, v); },
         build_frame(20, 0, 1, 0), OnRefusal::retried, waits, dtr, 0x0203},
    };
}

void add_exchange_rows() {
    QTest::addColumn<int>("which");
    const std::vector<ExchangeCase> cases = all_exchanges();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        QTest::newRow(cases[i].name) << static_cast<int>(i);
    }
}

ExchangeCase fetch_case() {
    QFETCH(int, which);
    return all_exchanges().at(static_cast<std::size_t>(which));
}

} // namespace

class ExchangeTest : public QObject {
    Q_OBJECT

private slots:
    void sends_its_request_and_takes_the_acceptance() {
        const ExchangeCase exchange = fetch_case();
        SimCable sim_cable;
        RecordedSleep sleep;
        std::uint32_t value = untouched;
        QCOMPARE(exchange.run(sim_cable.cable, 2, value), 0);
        QCOMPARE(sim::written_frames(),
                 std::vector<std::vector<std::uint8_t>>{bytes_of(exchange.request)});
        QCOMPARE(value, exchange.value);
        QCOMPARE(sleep.waits(), exchange.accepted_waits);
        QCOMPARE(sim::dtr_changes(), exchange.accepted_dtr);
        QCOMPARE(sim::dtr_high(), exchange.accepted_dtr.back() == 1);
    }
    void sends_its_request_and_takes_the_acceptance_data() { add_exchange_rows(); }

    void handles_a_refusal_its_own_way() {
        const ExchangeCase exchange = fetch_case();
        SimCable sim_cable;
        RecordedSleep sleep;
        sim::refuse(exchange.request[2], exchange.request[0], exchange.request[1]);
        std::uint32_t value = untouched;
        const int result = exchange.run(sim_cable.cable, 2, value);
        const auto writes = sim::written_frames().size();
        switch (exchange.on_refusal) {
        case OnRefusal::accepted:
            QCOMPARE(result, 0);
            QCOMPARE(writes, std::size_t{1});
            QCOMPARE(sleep.waits(), exchange.accepted_waits);
            QVERIFY(sim::dtr_high());
            break;
        case OnRefusal::refused:
            QCOMPARE(result, -7);
            QCOMPARE(writes, std::size_t{1});
            QVERIFY(sleep.waits().empty());
            QCOMPARE(sim::dtr_changes(), std::vector<int>{1});
            QVERIFY(sim::dtr_high());
            break;
        case OnRefusal::retried:
            QCOMPARE(result, -6);
            QCOMPARE(writes, std::size_t{20});
            QCOMPARE(sleep.waits(), std::vector<unsigned>(20, 50));
            QCOMPARE(sim::dtr_changes(), (std::vector<int>{1, 0}));
            QVERIFY(!sim::dtr_high());
            break;
        }
        QCOMPARE(value, untouched);
    }
    void handles_a_refusal_its_own_way_data() { add_exchange_rows(); }

    void runs_only_at_the_link_state_it_needs() {
        const ExchangeCase exchange = fetch_case();
        SimCable sim_cable;
        RecordedSleep sleep;
        const bool opens = exchange.request[0] == 0;
        std::uint32_t value = untouched;
        QCOMPARE(exchange.run(sim_cable.cable, 0, value), -1);
        QCOMPARE(exchange.run(sim_cable.cable, 1, value), opens ? 0 : -2);
        QCOMPARE(sim::written_frames().size(), std::size_t{opens ? 1u : 0u});
        QCOMPARE(sim::calls().empty(), !opens);
        QCOMPARE(sleep.waits().empty(), !opens);
        QCOMPARE(value, untouched);
    }
    void runs_only_at_the_link_state_it_needs_data() { add_exchange_rows(); }

    void read_parameter_talks_in_this_order() {
        SimCable sim_cable;
        RecordedSleep sleep;
        std::uint32_t value = 0;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 3, value), 0);
        QCOMPARE(value, 123456u);
        QCOMPARE(sim::call_names(), (std::vector<std::string>{"ftdi_setdtr", "ftdi_write_data",
                                                              "ftdi_read_data", "ftdi_read_data"}));
    }

    void open_connection_talks_in_this_order() {
        SimCable sim_cable;
        RecordedSleep sleep;
        QCOMPARE(open_connection(sim_cable.cable, 1), 0);
        QCOMPARE(sim::call_names(),
                 (std::vector<std::string>{"ftdi_setdtr", "ftdi_usb_purge_buffers",
                                           "ftdi_write_data", "ftdi_read_data", "ftdi_read_data"}));
    }

    void exchanges_change_the_chair() {
        SimCable sim_cable;
        RecordedSleep sleep;
        QCOMPARE(write_parameter(sim_cable.cable, 2, 2, 43, 3500), 0);
        QCOMPARE(sim::param(sim::drive, 43), 3500u);
        QCOMPARE(clear_event(sim_cable.cable, 2, 2, 0x16), 0);
        QCOMPARE(sim::event(sim::drive, 0x16), std::uint8_t{0});
        QCOMPARE(sim::event(sim::panel, 0x16), std::uint8_t{0});
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 43, value), 0);
        QCOMPARE(value, 3500u);
        QCOMPARE(read_event(sim_cable.cable, 2, 1, 0x14, value), 0);
        QCOMPARE(value, std::uint32_t{sim::event(sim::panel, 0x14)});
    }

    void indices_a_device_lacks_are_refused() {
        SimCable sim_cable;
        RecordedSleep sleep;
        std::uint32_t value = untouched;
        QCOMPARE(read_parameter(sim_cable.cable, 2, 2, 45, value), -7);
        QCOMPARE(read_event(sim_cable.cable, 2, 1, 0x15, value), -7);
        QCOMPARE(read_event(sim_cable.cable, 2, 2, 0x26, value), -7);
        QCOMPARE(clear_event(sim_cable.cable, 2, 2, 0x34), -7);
        QCOMPARE(write_parameter(sim_cable.cable, 2, 2, 0, 1), -7);
        QCOMPARE(value, untouched);
        QVERIFY(sleep.waits().empty());
        QCOMPARE(sim::params(sim::drive), sim::default_params(sim::drive));
    }
};

QTEST_GUILESS_MAIN(ExchangeTest)
#include "exchange_test.moc"
