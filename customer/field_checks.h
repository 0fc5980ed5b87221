#pragma once

#include <QString>

// The customer form's checks, free of any widget: each answers whether one text is acceptable and
// has no side effect. The form's slots and the whole-form check feed them as noted below.
namespace field_checks {

// Deletes every character that is not a digit.
QString digits_only(QString text);
// Deletes the CNPJ mask's punctuation (". / -") and keeps everything else, letters included.
QString cnpj_characters(QString text);

// Non-empty once white space is simplified.
bool validate_name(const QString &text);
// A plain address: local part, "@", domain, and a last label of 2 to 4 letters.
bool validate_email(const QString &text);
// Digits only: area code 10 or 11..99 without a 0, then 8 or 9 digits starting from 2..9.
bool validate_phone(const QString &text);
// Digits only: 8 digits not beginning with two zeros.
bool validate_cep(const QString &text);
// Digits only: 11 digits with both check digits right and not all the same digit.
bool validate_cpf(const QString &text);
// 12 upper-case letters or digits and 2 check-digit digits, without mask punctuation; not all 14
// characters the same.
bool validate_cnpj(const QString &text);

// The whole form, given the fields' texts as shown: name, e-mail, telephone, then the taxpayer
// number of the chosen kind (a CNPJ for a company, else a CPF), then CEP; the first failing field
// decides.
bool validate_user_data(const QString &name, const QString &email, const QString &phone,
                        const QString &taxpayer, bool company, const QString &cep);

} // namespace field_checks
