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

// Reports before and after the change, so the maker sees the chair as it was and as it is now.
// Each job runs only when the one before succeeded.
bool Veltora_Motor::run_service() {
    if (run_job(&Veltora_Motor::send_report) != 0 || run_job(&Veltora_Motor::send_parameters) != 0)
        return false;
    const int verified = run_job(&Veltora_Motor::verify_parameters);
    if (verified != 0) {
        // A drive that does not hold what it acknowledged keeps its event log, which may explain
        // the fault; the maker still hears what it holds.
        run_job(&Veltora_Motor::send_report);
        // A drive that stopped answering is connected anew, which reads everything again.
        if (verified != parameters_differ)
            show_chair_gone();
        return false;
    }
    return run_job(&Veltora_Motor::clear_events) == 0 && run_job(&Veltora_Motor::send_report) == 0;
}
