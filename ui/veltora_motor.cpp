#include "ui/veltora_motor.h"

#include "link/cable.h"
#include "report/kept_reports.h"
#include "ui_veltora_motor.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QtConcurrent>

Veltora_Motor::Veltora_Motor(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::Veltora_Motor>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    show_connect_button();
    disable_chair_boxes();
    fill_motor_list();
    load_user_data();
    panel_data = std::make_unique<DeviceData>(make_panel_data());
    drive_data = std::make_unique<DeviceData>(make_drive_data());
    for (int number = 0; number < motor_profile_count; ++number)
        profile_tables[static_cast<std::size_t>(number)] =
            std::make_unique<MotorProfile>(build_motor_profile(number));

    msg_box = new QMessageBox(this);
    msg_box->setWindowTitle(QStringLiteral("Veltora Zazurad - Motorização"));
    msg_box->setStandardButtons(QMessageBox::Ok);

    confirm_box = new QMessageBox(this);
    confirm_box->setWindowTitle(QStringLiteral("Veltora Zazurad - Motorização"));
    confirm_box->setText(QStringLiteral(
        "Esta operação irá enviar relatórios da cadeira para a Veltora, configurar a "
        "nova motorização e limpar o registro de eventos do drive."));
    confirm_box->setInformativeText(QStringLiteral("Continuar?"));
    confirm_box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    confirm_box->button(QMessageBox::Ok)->setText(QStringLiteral("Sim"));
    confirm_box->button(QMessageBox::Cancel)->setText(QStringLiteral("Não"));

    cable_product_id = no_cable_product_id;
    link_state = 0;
    busy = false;
    selected_profile = profile_tables[0].get();
    cable = nullptr;

    connect(this, &Veltora_Motor::set_progressbar_value, ui->progress_bar, &QProgressBar::setValue);
    connect(this, &Veltora_Motor::set_progressbar_maximum, ui->progress_bar,
            &QProgressBar::setMaximum);
    connect(this, &Veltora_Motor::set_progressbar_text, ui->progress_label, &QLabel::setText);
    fit_font_to_texts();

    // Reports an earlier run could not deliver go out in the background; the window never waits.
    kept_folder = kept_reports_folder();
    kept_resend = QtConcurrent::run([this] { resend_kept_reports(kept_folder, closing); });
}

Veltora_Motor::~Veltora_Motor() {
    closing = true;
    kept_resend.waitForFinished();
    if (link_state == 2)
        disconnect_chair();
    if (cable != nullptr) {
        close_cable(cable);
        cable = nullptr;
    }
    ui.reset();
}

void Veltora_Motor::closeEvent(QCloseEvent *event) {
    if (busy)
        event->ignore();
    else
        event->accept();
}

void Veltora_Motor::reject() {
    if (!busy)
        QDialog::reject();
}

void Veltora_Motor::show_connect_button() {
    ui->btn_connect->setVisible(true);
    ui->btn_connect->setEnabled(true);
    ui->btn_disconnect->setVisible(false);
    ui->btn_disconnect->setEnabled(false);
}

void Veltora_Motor::show_disconnect_button() {
    ui->btn_disconnect->setVisible(true);
    ui->btn_disconnect->setEnabled(true);
    ui->btn_connect->setVisible(false);
    ui->btn_connect->setEnabled(false);
}

void Veltora_Motor::enable_chair_boxes() {
    ui->box_info->setEnabled(true);
    ui->box_motor->setEnabled(true);
}

void Veltora_Motor::disable_chair_boxes() {
    ui->box_info->setEnabled(false);
    ui->box_motor->setEnabled(false);
}

void Veltora_Motor::show_chair_gone() {
    show_connect_button();
    disable_chair_boxes();
    clear_chair_info();
}

void Veltora_Motor::clear_chair_info() {
    ui->combo_motor->setCurrentIndex(-1);
    ui->info_motor->clear();
    ui->info_serial->clear();
    ui->info_versions->clear();
}
