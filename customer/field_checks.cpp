#include "customer/field_checks.h"

#include <QChar>
#include <QRegExp>

namespace field_checks {
namespace {

// A digit's value; -1 for anything else, including other scripts' digits, which no taxpayer
// number is written in.
int digit_value(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9') ? c.unicode() - '0' : -1;
}

// A CNPJ base character's value: its code minus that of "0", so digits keep their value and the
// upper-case letters run from 17 ("A") to 42 ("Z"); -1 for anything else.
int base_value(QChar c) {
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        return c.unicode() - '0';
    return digit_value(c);
}

int check_digit(int sum) {
    const int rest = sum % 11;
    return rest <= 1 ? 0 : 11 - rest;
}

bool all_same(const QString &text) {
    return text.count(text.front()) == text.size();
}

bool matches(const char *pattern, const QString &text) {
    return QRegExp(QLatin1String(pattern), Qt::CaseSensitive, QRegExp::RegExp).exactMatch(text);
}

// CPF weights run down from first to 2.
int cpf_digit(const int *values, int count) {
    int sum = 0;
    for (int i = 0; i < count; ++i)
        sum += values[i] * (count + 1 - i);
    return check_digit(sum);
}

// CNPJ weights run down from first to 2 and start again at 9.
int cnpj_digit(const int *values, int count, int first) {
    int sum = 0;
    int weight = first;
    for (int i = 0; i < count; ++i) {
        sum += values[i] * weight;
        weight = weight == 2 ? 9 : weight - 1;
    }
    return check_digit(sum);
}

} // namespace

QString digits_only(QString text) {
    return text.replace(QRegExp(QStringLiteral("\\D"), Qt::CaseSensitive, QRegExp::RegExp),
                        QString());
}

QString cnpj_characters(QString text) {
    return text.remove(QLatin1Char('.')).remove(QLatin1Char('/')).remove(QLatin1Char('-'));
}

bool validate_name(const QString &text) {
    return !text.simplified().isEmpty();
}

bool validate_email(const QString &text) {
    return matches("^[A-Za-z0-9.+_-]+@[A-Za-z0-9.+_-]+\\.[a-zA-Z]{2,4}$", text);
}

bool validate_phone(const QString &text) {
    return matches("^((10)|([1-9][1-9]))[2-9][0-9]{7,8}$", text);
}

bool validate_cep(const QString &text) {
    return matches("^((0[1-9][0-9]{6})|([1-9][0-9]{7}))$", text);
}

bool validate_cpf(const QString &text) {
    constexpr int length = 11;
    if (text.size() < length || all_same(text.left(length)))
        return false;
    int values[length];
    for (int i = 0; i < length; ++i) {
        values[i] = digit_value(text.at(i));
        if (values[i] < 0)
            return false;
    }
    return cpf_digit(values, 9) == values[9] && cpf_digit(values, 10) == values[10];
}

bool validate_cnpj(const QString &text) {
    constexpr int base_length = 12;
    constexpr int length = 14;
    if (text.size() < length || all_same(text.left(length)))
        return false;
    int values[length];
    for (int i = 0; i < length; ++i) {
        values[i] = i < base_length ? base_value(text.at(i)) : digit_value(text.at(i));
        if (values[i] < 0)
            return false;
    }
    return cnpj_digit(values, 12, 5) == values[12] && cnpj_digit(values, 13, 6) == values[13];
}

bool validate_user_data(const QString &name, const QString &email, const QString &phone,
                        const QString &taxpayer, bool company, const QString &cep) {
    const QString simple_name = name.simplified();
    const QString simple_email = email.simplified();
    const QString simple_phone = phone.simplified();
    const QString simple_taxpayer = taxpayer.simplified();
    const QString simple_cep = cep.simplified();
    if (!validate_name(simple_name) || !validate_email(simple_email) ||
        !validate_phone(digits_only(simple_phone)))
        return false;
    // The other kind's number, hidden in its field, belongs to an earlier customer as likely as
    // not: it never stands in for this one's.
    const bool taxpayer_ok = company ? validate_cnpj(cnpj_characters(simple_taxpayer))
                                     : validate_cpf(digits_only(simple_taxpayer));
    return taxpayer_ok && validate_cep(digits_only(simple_cep));
}

} // namespace field_checks
