#pragma once

#include <QString>

namespace Ui {
class Veltora_Motor;
}

// The two kinds of customer, as stored under "Tipo" and sent as data (no accents).
inline QString person_type() {
    return QStringLiteral("Pessoa Fisica");
}
inline QString company_type() {
    return QStringLiteral("Pessoa Juridica");
}
// Anything but the person type, even an unexpected stored text, is a company.
inline bool is_company(const QString &customer_type) {
    return customer_type != person_type();
}

// Puts the form in company mode (CNPJ, "Razão Social") or person mode (CPF, "Nome"). The hidden
// taxpayer field keeps its text.
void show_customer_mode(Ui::Veltora_Motor &ui, bool company);
