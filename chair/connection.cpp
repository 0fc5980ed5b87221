#include "link/cable.h"
#include "link/exchanges.h"
#include "ui/veltora_motor.h"
#include "ui/window_texts.h"
#include "ui_veltora_motor.h"

#include <algorithm>
#include <array>

namespace {

QString no_cable_message() {
    return QStringLiteral("Cabo de comunicação USB não encontrado!");
}
// The first when the cable itself failed, the second when the chair did not answer.
QString cable_failure_message() {
    return QStringLiteral("Falha ao estabelecer a conecão com a cadeira!");
}
QString chair_failure_message() {
    return QStringLiteral("Falha ao estabelecer a conexão com a cadeira!");
}

} // namespace

void Veltora_Motor::find_cable() {
    // A job that dropped the link to 0 left its context open, and it still holds the USB device.
    if (cable != nullptr) {
        close_cable(cable);
        cable = nullptr;
    }
    const std::array<int, 2> products{service_cable_product_id, user_cable_product_id};
    const auto *const opened =
        std::find_if(products.begin(), products.end(),
                     [this](int product_id) { return open_cable(cable, product_id) == 0; });
    if (opened != products.end()) {
        cable_product_id = *opened;
        link_state = 1;
        return;
    }
    cable_product_id = no_cable_product_id;
    link_state = 0;
}

void Veltora_Motor::on_btn_connect_clicked() {
    ui->main_frame->setEnabled(false);
    if (link_state == 0)
        find_cable();
    // At 2 an earlier connect stopped after the connection was opened: the chair may have been
    // switched off and on since, so the connection is opened anew and everything read again.
    if (link_state != 0) {
        if (run_job(&Veltora_Motor::connect_chair) == 0 &&
            run_job(&Veltora_Motor::load_events) == 0 &&
            run_job(&Veltora_Motor::load_parameters) == 0) {
            show_drive_identity();
            show_disconnect_button();
            enable_chair_boxes();
        }
    } else {
        show_message(no_cable_message());
    }
    ui->main_frame->setEnabled(true);
    if (param_or_zero(*drive_data, 5) > 0x2FF) {
        show_message(
            QStringLiteral("Versão de Firmware incompatível. Utilize o Veltora Zazurad 2.0!"));
        ui->combo_motor->setEnabled(false);
        ui->btn_send->setEnabled(false);
        ui->box_user->setEnabled(false);
    }
}

void Veltora_Motor::on_btn_disconnect_clicked() {
    ui->main_frame->setEnabled(false);
    emit set_progressbar_maximum(0);
    if (link_state == 2) {
        // Whether the chair let go or the job has told why it could not, the link is below 2
        // now, so the window offers Conectar again instead of a button that does nothing.
        run_job(&Veltora_Motor::disconnect_chair);
        show_chair_gone();
    } else if (link_state == 0) {
        show_message(no_cable_message());
    }
    ui->main_frame->setEnabled(true);
    emit set_progressbar_maximum(100);
}

// Moves link_state by the result of a connection exchange and tells the user what failed. A
// result no connection exchange should give ends the program.
void Veltora_Motor::settle_link(int result, int state_on_success,
                                const QString &no_answer_message) {
    switch (result) {
    case exchange_ok:
        link_state = state_on_success;
        break;
    case exchange_no_cable:
    case exchange_write_failed:
        link_state = 0;
        show_message(cable_failure_message());
        break;
    case exchange_discard_failed:
    case exchange_reply_failed:
    case exchange_wrong_reply:
        link_state = 1;
        show_message(no_answer_message);
        break;
    default:
        fatal_stop();
        break;
    }
}

int Veltora_Motor::connect_chair() {
    emit set_progressbar_maximum(0);
    emit set_progressbar_text(QString::fromUtf8(window_texts::connecting));
    const int result = open_connection(cable, link_state);
    settle_link(result, 2, chair_failure_message());
    // A new connection may be to another chair: nothing the last one held may stand in for a
    // value this one refuses.
    if (result == exchange_ok) {
        *panel_data = make_panel_data();
        *drive_data = make_drive_data();
    }
    emit set_progressbar_text(QString::fromUtf8(window_texts::idle));
    emit set_progressbar_maximum(100);
    return result;
}

int Veltora_Motor::disconnect_chair() {
    emit set_progressbar_text(QString::fromUtf8(window_texts::disconnecting));
    const int result = close_connection(cable, link_state);
    // The cable stays open after the chair has been let go.
    settle_link(result, 1, QStringLiteral("Conexão perdida!"));
    emit set_progressbar_text(QString::fromUtf8(window_texts::idle));
    return result;
}
