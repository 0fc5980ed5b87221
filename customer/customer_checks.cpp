#include "customer/field_checks.h"
#include "ui/veltora_motor.h"

#include "ui_veltora_motor.h"

bool Veltora_Motor::validate_name(const QString &text) {
    return field_checks::validate_name(text);
}

bool Veltora_Motor::validate_email(const QString &text) {
    return field_checks::validate_email(text);
}

bool Veltora_Motor::validate_phone(const QString &text) {
    return field_checks::validate_phone(text);
}

bool Veltora_Motor::validate_cep(const QString &text) {
    return field_checks::validate_cep(text);
}

bool Veltora_Motor::validate_cpf(const QString &text) {
    return field_checks::validate_cpf(text);
}

bool Veltora_Motor::validate_cnpj(const QString &text) {
    return field_checks::validate_cnpj(text);
}

// Looks only at what the form shows now, not at the values last accepted and stored.
bool Veltora_Motor::validate_user_data() {
    return field_checks::validate_user_data(ui->user_name->text(), ui->user_email->text(),
                                            ui->user_phone->text(), ui->user_cpf->text(),
                                            ui->user_cnpj->text(), ui->user_cep->text());
}
