#include "chair/motorization.h"
#include "ui/veltora_motor.h"
#include "ui_veltora_motor.h"

void Veltora_Motor::fill_motor_list() {
    ui->combo_motor->clear();
    for (int row = 0; row < motorization_count; ++row)
        motor_names[static_cast<std::size_t>(row)] = motorization_name(row);
    for (int row = 0; row < motorization_count; ++row)
        ui->combo_motor->insertItem(row, motor_names[static_cast<std::size_t>(row)]);
    ui->combo_motor->setCurrentIndex(-1);
    ui->info_motor->clear();
    ui->info_serial->clear();
    ui->info_versions->clear();
}

void Veltora_Motor::on_combo_motor_currentIndexChanged(int index) {
    motor_index = static_cast<std::int8_t>(index & 0xFF);
    // While the constructor fills the list the drive store and the profiles do not exist yet: only
    // a pointer is stored then, and the constructor sets the profile afresh.
    const std::uint32_t firmware = drive_data ? param_or_zero(*drive_data, 5) : 0;
    selected_profile =
        profile_tables[static_cast<std::size_t>(profile_for_row(motor_index, firmware))].get();
}

void Veltora_Motor::recognise_motorization() {
    const int row = recognise_row(*drive_data);
    motor_index = static_cast<std::int8_t>(row);
    selected_profile = profile_tables[static_cast<std::size_t>(
                                          profile_for_row(row, param_or_zero(*drive_data, 5)))]
                           .get();
    ui->combo_motor->setCurrentIndex(row);
    ui->info_motor->setText(motor_names[static_cast<std::size_t>(row)]);
}
