#include "ui/veltora_motor.h"
#include "ui_veltora_motor.h"

#include <QMessageBox>

#include <algorithm>
#include <iterator>

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
        show_connect_button();
        disable_chair_boxes();
        clear_chair_info();
    } else {
        // Before and after the change, so the maker sees the chair as it was and as it is now.
        const Job service[] = {&Veltora_Motor::send_report, &Veltora_Motor::send_parameters,
                               &Veltora_Motor::clear_events, &Veltora_Motor::send_report};
        // Each job runs only when the one before succeeded.
        const bool done = std::all_of(std::begin(service), std::end(service),
                                      [this](Job job) { return run_job(job) == 0; });
        if (done)
            show_message(QStringLiteral("Operação concluída!"));
    }
    emit set_progressbar_maximum(100);
    ui->main_frame->setEnabled(true);
}
