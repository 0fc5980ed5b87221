// The tool itself, started by the instance tests in a process of its own. A start-up hook plays
// the user: it prints and answers every message box, and does what VELTORA_PROBE asks:
//   close:N   close the window after N ms
//   close:stdin  close the window when the test writes a line to the probe's input
//   fatal     connect to the simulated chair, then meet a result no connection job expects
//   fatal:closing  the same, once the window has closed
//   hold      stay open until killed
#include "app/application.h"
#include "app/modal_answerer.h"
#include "recorded_sleep.h"
#include "test_access.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

Veltora_Motor *main_window() {
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<Veltora_Motor *>(widget))
            return window;
    return nullptr;
}

void play_user() {
    auto *answerer = new ModalAnswerer(qApp);
    answerer->on_box([](QMessageBox *box) {
        std::printf("box: %s\n", qPrintable(box->text()));
        std::fflush(stdout);
    });
    const QString task = qEnvironmentVariable("VELTORA_PROBE");
    if (task == QLatin1String("close:stdin")) {
        // Closed on the test's word, not after a delay that a loaded machine may outlast.
        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, qApp);
        QObject::connect(input, &QSocketNotifier::activated, qApp, [input] {
            input->setEnabled(false);
            if (Veltora_Motor *window = main_window())
                window->close();
        });
    } else if (task.startsWith(QLatin1String("close:"))) {
        QTimer::singleShot(task.mid(6).toInt(), qApp, [] {
            if (Veltora_Motor *window = main_window())
                window->close();
        });
    } else if (task.startsWith(QLatin1String("fatal"))) {
        QTimer::singleShot(50, qApp, [closing = task.endsWith(QLatin1String(":closing"))] {
            Veltora_Motor *window = main_window();
            static RecordedSleep no_waits;
            Veltora_Motor_TestAccess::find_cable(*window);
            Veltora_Motor_TestAccess::run_job(*window, Veltora_Motor_TestAccess::connect_chair());
            const auto fail = [window] {
                Veltora_Motor_TestAccess::set_link_state(*window, 1);
                Veltora_Motor_TestAccess::run_job(*window,
                                                  Veltora_Motor_TestAccess::disconnect_chair());
            };
            if (!closing)
                return fail();
            // Met once the event loop has ended: its exit(1) comes too late to count.
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, window, fail);
            window->close();
        });
    }
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(play_user)

int main(int argc, char *argv[]) {
    return run_application(argc, argv);
}
