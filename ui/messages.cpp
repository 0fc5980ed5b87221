#include "ui/veltora_motor.h"

#include "link/cable.h"
#include "ui/fatal_stop.h"
#include "ui/window_texts.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

void Veltora_Motor::run_on_gui_thread(const std::function<void()> &action) {
    if (QThread::currentThread() == thread()) {
        action();
        return;
    }
    // The job waits here until the GUI thread, spinning in job_loop, has carried the action out.
    QMetaObject::invokeMethod(
        this, [&action] { action(); }, Qt::BlockingQueuedConnection);
}

void Veltora_Motor::show_message(const QString &text) {
    run_on_gui_thread([this, &text] {
        msg_box->setText(text);
        msg_box->exec();
    });
}

void Veltora_Motor::reset_progress() {
    emit set_progressbar_maximum(100);
    emit set_progressbar_value(0);
    emit set_progressbar_text(QString::fromUtf8(window_texts::idle));
}

void Veltora_Motor::fatal_stop() {
    show_message(QStringLiteral("Erro inesperado! O programa será fechado!"));
    close_cable(cable);
    cable = nullptr;
    cable_product_id = no_cable_product_id;
    link_state = 0;
    record_fatal_stop();
    // Every event loop of the GUI thread returns at once, so main shuts down in order (window,
    // single-instance lock, application) and returns status 1; no process exit from a pool thread.
    run_on_gui_thread([] { QCoreApplication::exit(1); });
}
