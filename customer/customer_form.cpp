#include "customer/customer_mode.h"
#include "customer/field_checks.h"
#include "ui/veltora_motor.h"

#include "ui_veltora_motor.h"

#include <QLineEdit>
#include <QSettings>

namespace {

// An accepted value is kept in the controller and in the store at once (not at exit) and clears
// an earlier red; a rejected one turns the field red and leaves the kept value as it was.
bool settle(QSettings &store, QLineEdit *edit, bool accepted, QString &field, const char *key,
            const QString &value) {
    if (!accepted) {
        edit->setStyleSheet(QStringLiteral("QLineEdit { color: rgb(255, 0, 0); }"));
        return false;
    }
    field = value;
    store.setValue(QLatin1String(key), value);
    edit->setStyleSheet(QString());
    return true;
}

} // namespace

// Name and e-mail are written back simplified whatever the check says.
void Veltora_Motor::on_user_name_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_name->text().simplified();
    ui->user_name->setText(text);
    settle(store, ui->user_name, validate_name(text), customer_name, "Nome", text);
}

void Veltora_Motor::on_user_email_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_email->text().simplified();
    ui->user_email->setText(text);
    settle(store, ui->user_email, validate_email(text), customer_email, "Email", text);
}

// The masked fields are checked on their bare digits but kept with the mask's punctuation.
void Veltora_Motor::on_user_phone_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_phone->text().simplified();
    settle(store, ui->user_phone, validate_phone(field_checks::digits_only(text)), customer_phone,
           "Telefone", text);
}

void Veltora_Motor::on_user_cpf_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_cpf->text().simplified();
    settle(store, ui->user_cpf, validate_cpf(field_checks::digits_only(text)), customer_cpf, "CPF",
           text);
}

// A CNPJ may hold letters in its first twelve places, so only the punctuation is dropped.
void Veltora_Motor::on_user_cnpj_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_cnpj->text().simplified();
    settle(store, ui->user_cnpj, validate_cnpj(field_checks::cnpj_characters(text)), customer_cnpj,
           "CNPJ", text);
}

void Veltora_Motor::on_user_cep_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_cep->text().simplified();
    if (settle(store, ui->user_cep, validate_cep(field_checks::digits_only(text)), customer_cep,
               "CEP", text))
        ui->user_cep->setText(customer_cep);
}

void Veltora_Motor::on_radio_user_clicked() {
    show_customer_mode(*ui, false);
    apply_settings_identity();
    QSettings store;
    customer_type = person_type();
    store.setValue(QStringLiteral("Tipo"), customer_type);
}

void Veltora_Motor::on_radio_company_clicked() {
    show_customer_mode(*ui, true);
    apply_settings_identity();
    QSettings store;
    customer_type = company_type();
    store.setValue(QStringLiteral("Tipo"), customer_type);
}
