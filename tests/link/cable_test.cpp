#include "sim_cable.h"

#include <ftdi.h>

#include <QtTest>

#include <algorithm>
#include <string>
#include <vector>

using Names = std::vector<std::string>;
Q_DECLARE_METATYPE(sim::Step)
Q_DECLARE_METATYPE(Names)

namespace {

Names one_open() {
    return {"ftdi_usb_open", "ftdi_read_chipid", "ftdi_set_baudrate", "ftdi_set_line_property",
            "ftdi_get_latency_timer"};
}
Names reopen() {
    return {"ftdi_set_latency_timer", "ftdi_usb_close"};
}

Names concat(std::initializer_list<Names> parts) {
    Names all;
    for (const Names &part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

sim::Call first_call(const std::string &name) {
    const std::vector<sim::Call> calls = sim::calls();
    const auto found = std::find_if(calls.begin(), calls.end(),
                                    [&name](const sim::Call &call) { return call.name == name; });
    return found == calls.end() ? sim::Call{} : *found;
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
        QCOMPARE(sim::call_names(), concat({{"ftdi_new", "ftdi_set_interface"}, one_open()}));
        QCOMPARE(first_call("ftdi_set_interface").args, (std::vector<long>{INTERFACE_ANY}));
        QCOMPARE(first_call("ftdi_usb_open").args, (std::vector<long>{0x0403, 0x8359}));
        QCOMPARE(first_call("ftdi_set_baudrate").args, (std::vector<long>{4800}));
        QCOMPARE(first_call("ftdi_set_line_property").args,
                 (std::vector<long>{BITS_8, STOP_BIT_1, NONE}));
        QCOMPARE(sim::live_contexts(), 1);
        QCOMPARE(close_cable(cable), 0);
    }

    void reopens_until_latency_reads_fifteen() {
        sim::set_latency_timer(16);
        ftdi_context *cable = nullptr;
        QCOMPARE(open_cable(cable, 0x8358), 0);
        QCOMPARE(sim::call_names(),
                 concat({{"ftdi_new", "ftdi_set_interface"}, one_open(), reopen(), one_open()}));
        QCOMPARE(first_call("ftdi_set_latency_timer").args, (std::vector<long>{15}));
        QCOMPARE(sim::live_contexts(), 1);
        QCOMPARE(close_cable(cable), 0);
    }

    void gives_up_after_three_reopen_cycles() {
        sim::set_latency_timer(2, true);
        ftdi_context *cable = nullptr;
        QCOMPARE(open_cable(cable, 0x8359), -1);
        QVERIFY(cable == nullptr);
        QCOMPARE(sim::call_names(), concat({{"ftdi_new", "ftdi_set_interface"},
                                            one_open(),
                                            reopen(),
                                            one_open(),
                                            reopen(),
                                            one_open(),
                                            reopen(),
                                            one_open(),
                                            {"ftdi_free"}}));
        QCOMPARE(sim::live_contexts(), 0);
    }

    void fails_at_a_step_releasing_the_context() {
        QFETCH(sim::Step, step);
        QFETCH(QString, last_call);
        sim::set_latency_timer(16);
        sim::fail_step(step);
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
        QTest::addColumn<sim::Step>("step");
        QTest::addColumn<QString>("last_call");
        QTest::newRow("open") << sim::Step::usb_open << "ftdi_usb_open";
        QTest::newRow("baud rate") << sim::Step::set_baudrate << "ftdi_set_baudrate";
        QTest::newRow("line") << sim::Step::set_line_property << "ftdi_set_line_property";
        QTest::newRow("read latency") << sim::Step::get_latency_timer << "ftdi_get_latency_timer";
        QTest::newRow("set latency") << sim::Step::set_latency_timer << "ftdi_set_latency_timer";
        QTest::newRow("close for reopen") << sim::Step::usb_close << "ftdi_usb_close";
    }

    void fails_when_the_reopen_fails() {
        sim::set_latency_timer(16);
        ftdi_context *cable = nullptr;
        // Unplugged after the first open's eight calls and the close: the reopen finds nothing.
        sim::unplug_after(9);
        QCOMPARE(open_cable(cable, 0x8359), -1);
        QCOMPARE(sim::count_calls("ftdi_usb_open"), 2);
        QCOMPARE(sim::live_contexts(), 0);
    }

    void opens_only_the_kind_plugged_in() {
        sim::set_plugged_products({0x8358});
        ftdi_context *cable = nullptr;
        QCOMPARE(open_cable(cable, 0x8359), -1);
        QVERIFY(cable == nullptr);
        QCOMPARE(open_cable(cable, 0x8358), 0);
        QCOMPARE(sim::live_contexts(), 1);
        close_cable(cable);
        sim::set_plugged_products({});
        QCOMPARE(open_cable(cable, 0x8358), -1);
        QCOMPARE(open_cable(cable, 0x8359), -1);
        QCOMPARE(sim::live_contexts(), 0);
    }

    void close_lowers_dtr_closes_and_frees() {
        ftdi_context *cable = nullptr;
        open_cable(cable, 0x8359);
        ftdi_setdtr(cable, 1);
        sim::clear_record();
        QCOMPARE(close_cable(cable), 0);
        QCOMPARE(sim::call_names(), (Names{"ftdi_setdtr", "ftdi_usb_close", "ftdi_free"}));
        QCOMPARE(sim::dtr_changes(), std::vector<int>{0});
        QVERIFY(!sim::dtr_high());
        QCOMPARE(sim::live_contexts(), 0);
    }

    void close_frees_even_when_a_step_fails() {
        QFETCH(sim::Step, step);
        QFETCH(Names, expected_calls);
        ftdi_context *cable = nullptr;
        open_cable(cable, 0x8359);
        sim::clear_record();
        sim::fail_step(step);
        QCOMPARE(close_cable(cable), -1);
        QCOMPARE(sim::call_names(), expected_calls);
        QCOMPARE(sim::live_contexts(), 0);
    }
    void close_frees_even_when_a_step_fails_data() {
        QTest::addColumn<sim::Step>("step");
        QTest::addColumn<Names>("expected_calls");
        QTest::newRow("dtr") << sim::Step::setdtr << Names{"ftdi_setdtr", "ftdi_free"};
        QTest::newRow("close") << sim::Step::usb_close
                               << Names{"ftdi_setdtr", "ftdi_usb_close", "ftdi_free"};
    }

    void close_of_an_unplugged_cable_still_frees() {
        ftdi_context *cable = nullptr;
        open_cable(cable, 0x8359);
        sim::unplug_after(0);
        QCOMPARE(close_cable(cable), -1);
        QCOMPARE(sim::live_contexts(), 0);
        QCOMPARE(sim::count_calls("ftdi_free"), 1);
    }

    void close_without_a_cable_touches_nothing() {
        QCOMPARE(close_cable(nullptr), -1);
        QVERIFY(sim::calls().empty());
    }
};

QTEST_GUILESS_MAIN(CableTest)
#include "cable_test.moc"
