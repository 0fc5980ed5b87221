#include "customer/customer_mode.h"
#include "customer/field_checks.h"
#include "ui/veltora_motor.h"

#include "ui_veltora_motor.h"

#include <QLineEdit>
#include <QSettings>

namespace {

// A rejected field shows red text until a later value is accepted; its stored value stays.
void mark_rejected(QLineEdit *edit) {
    edit->setStyleSheet(QStringLiteral("QLineEdit { color: rgb(255, 0, 0); }"));
}

// Keeps an accepted value in the controller and in the store at once, not at exit.
void keep(QSettings &store, QLineEdit *edit, QString &field, const char *key,
          const QString &value) {
    field = value;
    store.setValue(QLatin1String(key), value);
    edit->setStyleSheet(QString());
}

} // namespace

// Name and e-mail are written back simplified whatever the check says.
void Veltora_Motor::on_user_name_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_name->text().simplified();
    ui->user_name->setText(text);
    if (validate_name(text))
        keep(store, ui->user_name, customer_name, "Nome", text);
    else
        mark_rejected(ui->user_name);
}

void Veltora_Motor::on_user_email_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_email->text().simplified();
    ui->user_email->setText(text);
    if (validate_email(text))
        keep(store, ui->user_email, customer_email, "Email", text);
    else
        mark_rejected(ui->user_email);
}

// The masked fields are checked on their bare digits but kept with the mask's punctuation.
void Veltora_Motor::on_user_phone_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_phone->text().simplified();
    if (validate_phone(field_checks::digits_only(text)))
        keep(store, ui->user_phone, customer_phone, "Telefone",
             ui->user_phone->text().simplified());
    else
        mark_rejected(ui->user_phone);
}

void Veltora_Motor::on_user_cpf_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_cpf->text().simplified();
    if (validate_cpf(field_checks::digits_only(text)))
        keep(store, ui->user_cpf, customer_cpf, "CPF", ui->user_cpf->text().simplified());
    else
        mark_rejected(ui->user_cpf);
}

// A CNPJ may hold letters in its first twelve places, so only the punctuation is dropped.
void Veltora_Motor::on_user_cnpj_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_cnpj->text().simplified();
    if (validate_cnpj(field_checks::cnpj_characters(text)))
        keep(store, ui->user_cnpj, customer_cnpj, "CNPJ", ui->user_cnpj->text().simplified());
    else
        mark_rejected(ui->user_cnpj);
}

void Veltora_Motor::on_user_cep_editingFinished() {
    apply_settings_identity();
    QSettings store;
    const QString text = ui->user_cep->text().simplified();
    if (validate_cep(field_checks::digits_only(text))) {
        keep(store, ui->user_cep, customer_cep, "CEP", ui->user_cep->text().simplified());
        ui->user_cep->setText(customer_cep);
    } else {
        mark_rejected(ui->user_cep);
    }
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
