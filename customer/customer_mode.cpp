#include "customer/customer_mode.h"

#include "ui/window_texts.h"
#include "ui_veltora_motor.h"

void show_customer_mode(Ui::Veltora_Motor &ui, bool company) {
    ui.label_name->setText(
        QString::fromUtf8(company ? window_texts::company_name : window_texts::person_name));
    ui.label_cpf_cnpj->setText(QString::fromUtf8(company ? window_texts::company_taxpayer
                                                         : window_texts::person_taxpayer));
    ui.radio_user->setChecked(!company);
    ui.radio_company->setChecked(company);
    ui.user_cpf->setVisible(!company);
    ui.user_cnpj->setVisible(company);
}
