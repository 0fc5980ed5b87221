#include "customer/customer_mode.h"
#include "ui/veltora_motor.h"

#include "ui_veltora_motor.h"

#include <QCoreApplication>
#include <QSettings>

// The settings store's location follows from the application identity, so it is set before every
// access.
void Veltora_Motor::apply_settings_identity() {
    QCoreApplication::setOrganizationName(QStringLiteral("Veltora Ltda."));
    QCoreApplication::setOrganizationDomain(QStringLiteral("veltora.com.br"));
    QCoreApplication::setApplicationName(QStringLiteral("Veltora Zazurad - Motorização"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
}

void Veltora_Motor::load_user_data() {
    apply_settings_identity();
    QSettings store;

    struct Entry {
        const char *key;
        QString *value;
    };
    const Entry entries[] = {
        {"Nome", &customer_name}, {"Email", &customer_email}, {"Telefone", &customer_phone},
        {"CPF", &customer_cpf},   {"CNPJ", &customer_cnpj},   {"CEP", &customer_cep},
        {"Tipo", &customer_type},
    };
    for (const Entry &entry : entries) {
        const QString key = QLatin1String(entry.key);
        if (!store.contains(key))
            store.setValue(key, entry.value == &customer_type ? person_type() : QString());
    }
    for (const Entry &entry : entries)
        *entry.value = store.value(QLatin1String(entry.key)).toString();

    ui->user_name->setText(customer_name);
    ui->user_email->setText(customer_email);
    ui->user_phone->setText(customer_phone);
    ui->user_cpf->setText(customer_cpf);
    ui->user_cnpj->setText(customer_cnpj);
    ui->user_cep->setText(customer_cep);

    show_customer_mode(*ui, is_company(customer_type));

    const QString bold = QStringLiteral("QLabel { font-weight: bold; }");
    ui->info_motor->setStyleSheet(bold);
    ui->info_serial->setStyleSheet(bold);
    ui->info_versions->setStyleSheet(bold);
}
