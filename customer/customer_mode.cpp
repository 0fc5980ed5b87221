#include "customer/customer_mode.h"

#include "ui_veltora_motor.h"

void show_customer_mode(Ui::Veltora_Motor &ui, bool company) {
    ui.label_name->setText(company ? QStringLiteral("Razão Social") : QStringLiteral("Nome"));
    ui.label_cpf_cnpj->setText(company ? QStringLiteral("CNPJ") : QStringLiteral("CPF"));
    ui.radio_user->setChecked(!company);
    ui.radio_company->setChecked(company);
    ui.user_cpf->setVisible(!company);
    ui.user_cnpj->setVisible(company);
}
