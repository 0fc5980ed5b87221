#include "customer/customer_mode.h"
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

// Looks only at what the form shows now, not at the values last accepted and stored; of the two
// taxpayer fields only the one the chosen mode shows counts.
bool Veltora_Motor::validate_user_data() {
    return field_checks::validate_user_data(
        ui->user_name->text(), ui->user_email->text(), ui->user_phone->text(),
        is_company(customer_type) ? ui->user_cnpj->text() : ui->user_cpf->text(),
        is_company(customer_type), ui->user_cep->text());
}
