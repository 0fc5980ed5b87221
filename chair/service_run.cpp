#include "ui/veltora_motor.h"
#include "ui_veltora_motor.h"

#include <QMessageBox>

void Veltora_Motor::on_btn_send_clicked() {
    ui->main_frame->setEnabled(false);
    if (!validate_user_data()) {
        show_message(QStringLiteral("Os dados do usuário devem ser preenchidos corretamente!"));
        ui->main_frame->setEnabled(true);
        return;
    }
    if (confirm_box->exec() != QMessageBox::Ok) {
        ui->main_frame->setEnabled(true);
        return;
    }
    emit set_progressbar_maximum(0);
    if (link_state != 2) {
        show_message(QStringLiteral("Conexão perdida!"));
        show_chair_gone();
    } else if (run_service()) {
        show_message(QStringLiteral("Operação concluída!"));
    }
    emit set_progressbar_maximum(100);
    ui->main_frame->setEnabled(true);
}

// Reports before and after the change, so the maker sees the chair as it was and as it is now;
// both reports carry one fresh run id. Each job runs only when the one before succeeded.
bool Veltora_Motor::run_service() {
    service_run = QUuid::createUuid();
    report_stage = ServiceStage::before;
    if (run_job(&Veltora_Motor::send_report) != 0)
        return false;
    // From here on the drive is changed: a run that stops still tells the maker what it holds.
    const int changed = change_drive();
    report_stage = changed == 0 ? ServiceStage::after : ServiceStage::interrupted;
    return run_job(&Veltora_Motor::send_report) == 0 && changed == 0;
}

int Veltora_Motor::change_drive() {
    const int written = run_job(&Veltora_Motor::send_parameters);
    if (written != 0)
        return written;
    const int verified = run_job(&Veltora_Motor::verify_parameters);
    // A drive that does not hold what it acknowledged keeps its event log, which may explain the
    // fault. A drive that stopped answering is connected anew, which reads everything again.
    if (verified != 0) {
        if (verified != parameters_differ)
            show_chair_gone();
        return verified;
    }
    return run_job(&Veltora_Motor::clear_events);
}
