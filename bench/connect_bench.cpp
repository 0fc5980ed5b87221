// The whole connect sequence with the protocol's real waits against a simulated chair that answers
// at once, compared with the sum of its mandated waits; and the longest stall of the GUI thread's
// event loop while the jobs run (a 1 ms timer probe), through connect, a profile write and a clear.
#include "sim/sim_chair.h"
#include "test_access.h"
#include "ui/veltora_motor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// Largest gap between two ticks of a 1 ms timer on the GUI thread.
class StallProbe : public QObject {
public:
    StallProbe() {
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (clock_.isValid())
                longest_ns_ = std::max(longest_ns_, clock_.nsecsElapsed());
            clock_.restart();
        });
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.start(1);
    }
    double longest_ms() const { return static_cast<double>(longest_ns_) / 1e6; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ns_ = 0;
};

} // namespace

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The customer form stores its fields; keep them out of the user's own settings.
    const QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    using Access = Veltora_Motor_TestAccess;
    sim::reset();
    Veltora_Motor window;
    window.show();
    StallProbe probe;

    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton *>(QStringLiteral("btn_connect"))->click();
    const double connect_ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const double mandated_ms = 100 + 250 + (52 + 88) * 50;
    std::printf("connect: %.1f ms against %.0f ms of mandated waits (+%.2f %%), link state %d\n",
                connect_ms, mandated_ms, 100.0 * (connect_ms - mandated_ms) / mandated_ms,
                Access::link_state(window));

    clock.restart();
    const int written = Access::run_job(window, Access::send_parameters());
    const int cleared = Access::run_job(window, Access::clear_events());
    std::printf(
        "profile write and clear: %.1f ms against %d ms of mandated waits (results %d, %d)\n",
        static_cast<double>(clock.nsecsElapsed()) / 1e6, (34 + 30) * 50, written, cleared);
    std::printf("longest stall of the GUI event loop: %.2f ms\n", probe.longest_ms());
    return 0;
}
