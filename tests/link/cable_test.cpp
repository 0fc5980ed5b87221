#include "sim_cable.h"

#include <ftdi.h>

#include <QtTest>

#include <functional>
#include <string>

using Names = std::vector<std::string>;
using Setup = std::function<void()>;
Q_DECLARE_METATYPE(Setup)

namespace {

Names one_open() {
    return {"ftdi_usb_open", "ftdi_read_chipid", "ftdi_set_baudrate", "ftdi_set_line_property",
            "ftdi_get_latency_timer"};
}

// The calls of opening with `reopens` close-and-reopen cycles.
Names open_calls(int reopens) {
    Names all{"ftdi_new", "ftdi_set_interface"};
    for (int i = 0; i <= reopens; ++i) {
        const Names once = one_open();
        all.insert(all.end(), once.begin(), once.end());
        all.insert(all.end(), {"ftdi_set_latency_timer", "ftdi_usb_close"});
    }
    all.resize(all.size() - 2);
    return all;
}

} // namespace

class CableTest : public QObject {
    Q_OBJECT

private slots:
    void init() { sim::reset(); }

    void opens_once_when_latency_already_fifteen() {
        ftdi_context *cable = nullptr;
        QCOMPARE(open_cable(cable, 0x8359), 0);
        QVERIFY(cable != nullptr);
        QCOMPARE(sim::call_names(), open_calls(0));
        QCOMPARE(sim::live_contexts(), 1);
        const std::vector<sim::Call> calls = sim::calls();
        QCOMPARE(calls[1].args, (std::vector<long>{INTERFACE_ANY}));
        QCOMPARE(calls[2].args, (std::vector<long>{0x0403, 0x8359}));
        QCOMPARE(calls[4].args, (std::vector<long>{4800}));
        QCOMPARE(calls[5].args, (std::vector<long>{BITS_8, STOP_BIT_1, NONE}));
        QCOMPARE(close_cable(cable), 0);
    }

    void reopens_until_latency_reads_fifteen_and_gives_up_on_a_stuck_chip() {
        sim::set_latency_timer(16);
        ftdi_context *cable = nullptr;
        QCOMPARE(open_cable(cable, 0x8358), 0);
        QCOMPARE(sim::call_names(), open_calls(1));
        QCOMPARE(sim::calls()[7].args, (std::vector<long>{15}));
        QCOMPARE(sim::live_contexts(), 1);
        QCOMPARE(close_cable(cable), 0);
        sim::reset();
        sim::set_latency_timer(2, true);
        QCOMPARE(open_cable(cable, 0x8359), -1);
        QVERIFY(cable == nullptr);
        Names capped = open_calls(3);
        capped.push_back("ftdi_free");
        QCOMPARE(sim::call_names(), capped);
        QCOMPARE(sim::live_contexts(), 0);
    }

    void fails_at_a_step_releasing_the_context() {
        QFETCH(Setup, setup);
        QFETCH(QString, last_call);
        sim::set_latency_timer(16);
        setup();
        ftdi_context *cable = nullptr;
        QCOMPARE(open_cable(cable, 0x8359), -1);
        QVERIFY(cable == nullptr);
        const Names names = sim::call_names();
        QCOMPARE(names.back(), std::string("ftdi_free"));
        QCOMPARE(QString::fromStdString(names[names.size() - 2]), last_call);
        QCOMPARE(sim::count_calls("ftdi_free"), 1);
        QCOMPARE(sim::live_contexts(), 0);
    }
    void fails_at_a_step_releasing_the_context_data() {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("last_call");
        const auto step = [](sim::Step s) { return Setup([s] { sim::fail_step(s); }); };
        QTest::newRow("open") << step(sim::Step::usb_open) << "ftdi_usb_open";
        QTest::newRow("baud rate") << step(sim::Step::set_baudrate) << "ftdi_set_baudrate";
        QTest::newRow("line") << step(sim::Step::set_line_property) << "ftdi_set_line_property";
        QTest::newRow("get latency")
            << step(sim::Step::get_latency_timer) << "ftdi_get_latency_timer";
        QTest::newRow("set latency")
            << step(sim::Step::set_latency_timer) << "ftdi_set_latency_timer";
        QTest::newRow("close for reopen") << step(sim::Step::usb_close) << "ftdi_usb_close";
        // Pulled out after the first open and its close: the reopen finds nothing.
        QTest::newRow("reopen") << Setup([] { sim::unplug_after(9); }) << "ftdi_usb_open";
    }

    void close_lowers_dtr_closes_and_frees_even_when_a_step_fails() {
        ftdi_context *cable = nullptr;
        open_cable(cable, 0x8359);
        ftdi_setdtr(cable, 1);
        sim::clear_record();
        QCOMPARE(close_cable(cable), 0);
        QCOMPARE(sim::call_names(), (Names{"ftdi_setdtr", "ftdi_usb_close", "ftdi_free"}));
        QCOMPARE(sim::dtr_changes(), std::vector<int>{0});
        QCOMPARE(sim::live_contexts(), 0);
        QCOMPARE(close_cable(nullptr), -1);
        QCOMPARE(sim::call_names().size(), std::size_t{3});
        for (const sim::Step step : {sim::Step::setdtr, sim::Step::usb_close}) {
            open_cable(cable, 0x8359);
            sim::clear_record();
            sim::fail_step(step);
            QCOMPARE(close_cable(cable), -1);
            QCOMPARE(sim::count_calls("ftdi_usb_close"), step == sim::Step::usb_close ? 1 : 0);
            QCOMPARE(sim::call_names().back(), std::string("ftdi_free"));
            QCOMPARE(sim::live_contexts(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(CableTest)
#include "cable_test.moc"
