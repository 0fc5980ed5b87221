// The connect sequence and a whole service (Enviar to "Operação concluída!", both reports into a
// receiver in this process) with the protocol's real waits against a simulated chair that answers
// at once, each compared with the sum of the waits the link asked for, and the service's jobs one
// by one; and the longest stall of the GUI thread's event loop (a 1 ms timer probe) through both.
#include "app/modal_answerer.h"
#include "link/msleep.h"
#include "local_receiver.h"
#include "sim/sim_chair.h"
#include "test_access.h"
#include "typing.h"
#include "ui/veltora_motor.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
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

// The link's own sleep, still spent, with every wait it asks for added up.
std::atomic<unsigned> mandated_ms{0};
SleepFunction real_sleep = nullptr;
void counted_sleep(unsigned milliseconds) {
    mandated_ms += milliseconds;
    real_sleep(milliseconds);
}

void print_step(const char *name, double spent_ms) {
    const double waits_ms = mandated_ms;
    std::printf("%s: %.1f ms against %.0f ms of mandated waits (ratio %.4f, +%.2f %%)\n", name,
                spent_ms, waits_ms, spent_ms / waits_ms, 100.0 * (spent_ms - waits_ms) / waits_ms);
}

} // namespace

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The customer form stores its fields; keep them out of the user's own settings.
    const QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    real_sleep = replace_sleep_function(&counted_sleep);
    LocalReceiver receiver(home.filePath(QStringLiteral("reports.sqlite3")));
    sim::reset();
    Veltora_Motor window;
    window.show();
    ModalAnswerer answerer;
    const auto type = [&window](const char *name, const char *text) {
        type_and_enter(window.findChild<QLineEdit *>(QString::fromLatin1(name)),
                       QString::fromUtf8(text));
    };
    type("user_name", "Ana Lima");
    type("user_email", "ana@loja.com.br");
    type("user_phone", "11987654321");
    type("user_cpf", "52998224725");
    type("user_cep", "01001000");
    const auto click = [&window](const char *name) {
        window.findChild<QPushButton *>(QString::fromLatin1(name))->click();
    };
    StallProbe probe;

    QElapsedTimer clock;
    clock.start();
    click("btn_connect");
    print_step("connect", static_cast<double>(clock.nsecsElapsed()) / 1e6);

    // The service proper, from the technician's Sim to the box that ends the run: the confirmation
    // starts the clock, the last box stops it.
    window.findChild<QComboBox *>(QStringLiteral("combo_motor"))->setCurrentIndex(7);
    mandated_ms = 0;
    qint64 service_ns = 0;
    answerer.on_box(
        [&clock, &service_ns](QMessageBox *) { service_ns = clock.nsecsElapsed() - service_ns; });
    // Each job's share, taken on the job's own thread as it emits: its progress text starts it,
    // the idle text ends it.
    QString job;
    qint64 job_start_ns = 0;
    unsigned job_start_waits = 0;
    const QMetaObject::Connection jobs = QObject::connect(
        &window, &Veltora_Motor::set_progressbar_text, &window,
        [&](const QString &text) {
            if (text != QLatin1String("Veltora Zazurad")) {
                job = text;
                job_start_ns = clock.nsecsElapsed();
                job_start_waits = mandated_ms;
                return;
            }
            std::printf("  %-28s %7.1f ms against %5u ms of waits\n", qPrintable(job),
                        static_cast<double>(clock.nsecsElapsed() - job_start_ns) / 1e6,
                        mandated_ms - job_start_waits);
        },
        Qt::DirectConnection);
    click("btn_send");
    QObject::disconnect(jobs);
    print_step("whole service", static_cast<double>(service_ns) / 1e6);
    std::printf("messages: %s; reports stored: %zu\n",
                qPrintable(answerer.texts().join(QStringLiteral(" | "))),
                receiver.ok() ? receiver.reports().size() : std::size_t{0});
    std::printf("longest stall of the GUI event loop: %.2f ms\n", probe.longest_ms());
    replace_sleep_function(real_sleep);
    return 0;
}
