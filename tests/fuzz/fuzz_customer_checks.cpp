// The customer field checks on any text a user could type or paste, raw and through the same
// normalisations the form applies before checking.
#include "customer/field_checks.h"
#include "fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

using namespace field_checks;

namespace {

bool ascii_digit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool ascii_digits(const QString &text) {
    for (QChar c : text) {
        if (!ascii_digit(c)) {
            return false;
        }
    }
    return true;
}

bool all_same(const QString &text) {
    for (QChar c : text) {
        if (c != text.at(0)) {
            return false;
        }
    }
    return true;
}

void check_normalisations(const QString &text) {
    const QString simple = text.simplified();
    FUZZ_CHECK(simple.simplified() == simple);

    // Every digit kept in order, whatever its script, and nothing else.
    QString digits;
    for (QChar c : text) {
        if (c.isDigit()) {
            digits.append(c);
        }
    }
    FUZZ_CHECK(digits_only(text) == digits);
    FUZZ_CHECK(digits_only(digits) == digits);

    const QString cnpj = cnpj_characters(text);
    FUZZ_CHECK(cnpj.size() <= text.size());
    FUZZ_CHECK(!cnpj.contains(QLatin1Char('.')) && !cnpj.contains(QLatin1Char('/')) &&
               !cnpj.contains(QLatin1Char('-')));
    FUZZ_CHECK(cnpj_characters(cnpj) == cnpj);
}

void check_name(const QString &text) {
    bool visible = false;
    for (QChar c : text) {
        visible = visible || !c.isSpace();
    }
    FUZZ_CHECK(validate_name(text) == visible);
}

bool ascii_letter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// Letters, digits and . + _ - : what both sides of an address may hold.
bool address_characters(const QString &text) {
    for (QChar c : text) {
        if (!ascii_letter(c) && !ascii_digit(c) && !QStringLiteral(".+_-").contains(c)) {
            return false;
        }
    }
    return !text.isEmpty();
}

// local "@" domain "." label: the label 2 to 4 letters, the domain may hold dots of its own.
bool plain_address(const QString &text) {
    const int dot = text.lastIndexOf(QLatin1Char('.'));
    const int at = text.indexOf(QLatin1Char('@'));
    if (at < 0 || dot < at) {
        return false;
    }
    const QString label = text.mid(dot + 1);
    if (label.size() < 2 || label.size() > 4) {
        return false;
    }
    for (QChar c : label) {
        if (!ascii_letter(c)) {
            return false;
        }
    }
    return address_characters(text.left(at)) && address_characters(text.mid(at + 1, dot - at - 1));
}

bool plain_phone(const QString &digits) {
    if ((digits.size() != 10 && digits.size() != 11) || !ascii_digits(digits)) {
        return false;
    }
    const bool area_ten = digits.startsWith(QLatin1String("10"));
    const bool area_without_zero =
        digits.at(0) != QLatin1Char('0') && digits.at(1) != QLatin1Char('0');
    return (area_ten || area_without_zero) && digits.at(2) >= QLatin1Char('2');
}

bool plain_cep(const QString &digits) {
    return digits.size() == 8 && ascii_digits(digits) && !digits.startsWith(QLatin1String("00"));
}

// The published check digit: 11 minus the weighted sum's remainder by 11, 0 for 10 and 11.
int check_digit(const std::vector<int> &values, const std::vector<int> &weights) {
    int sum = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        sum += values[i] * weights[i];
    }
    const int digit = 11 - sum % 11;
    return digit >= 10 ? 0 : digit;
}

bool plain_cpf(const QString &text) {
    const QString number = text.left(11);
    if (number.size() != 11 || !ascii_digits(number) || all_same(number)) {
        return false;
    }
    std::vector<int> values;
    for (QChar c : number) {
        values.push_back(c.unicode() - '0');
    }
    return check_digit(values, {10, 9, 8, 7, 6, 5, 4, 3, 2}) == values[9] &&
           check_digit(values, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2}) == values[10];
}

// Twelve letters or digits (a letter counts its code minus that of "0") and two check digits.
bool plain_cnpj(const QString &text) {
    const QString number = text.left(14);
    if (number.size() != 14 || all_same(number) || !ascii_digits(number.right(2))) {
        return false;
    }
    std::vector<int> values;
    for (QChar c : number) {
        const bool upper = c >= QLatin1Char('A') && c <= QLatin1Char('Z');
        if (!ascii_digit(c) && !upper) {
            return false;
        }
        values.push_back(c.unicode() - '0');
    }
    return check_digit(values, {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}) == values[12] &&
           check_digit(values, {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}) == values[13];
}

void check_fields(const QString &text) {
    FUZZ_CHECK(validate_email(text) == plain_address(text));
    FUZZ_CHECK(validate_phone(text) == plain_phone(text));
    FUZZ_CHECK(validate_cep(text) == plain_cep(text));
    FUZZ_CHECK(validate_cpf(text) == plain_cpf(text));
    FUZZ_CHECK(validate_cnpj(text) == plain_cnpj(text));
}

// Six fields split from the text: the whole-form answer must be the field answers combined.
void check_whole_form(const QString &text) {
    QStringList fields = text.split(QLatin1Char('|'));
    while (fields.size() < 6) {
        fields.append(QString());
    }
    std::vector<QString> simple;
    for (int i = 0; i < 6; ++i) {
        simple.push_back(fields.at(i).simplified());
    }
    // Fields 3 and 4 are the CPF and the CNPJ; each mode looks at its own only.
    for (const bool company : {false, true}) {
        const bool expected = validate_name(simple[0]) && validate_email(simple[1]) &&
                              validate_phone(digits_only(simple[2])) &&
                              (company ? validate_cnpj(cnpj_characters(simple[4]))
                                       : validate_cpf(digits_only(simple[3]))) &&
                              validate_cep(digits_only(simple[5]));
        FUZZ_CHECK(validate_user_data(fields.at(0), fields.at(1), fields.at(2),
                                      fields.at(company ? 4 : 3), company,
                                      fields.at(5)) == expected);
    }
}

void check_text(const QString &text) {
    check_normalisations(text);
    const QString simple = text.simplified();
    for (const QString &form : {text, simple}) {
        check_name(form);
        check_fields(form);
    }
    check_fields(digits_only(simple));
    check_fields(cnpj_characters(simple));
    check_whole_form(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        const std::string bytes = input.ConsumeRemainingBytesAsString();
        check_text(QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size())));
    } else {
        // Any UTF-16, lone surrogates included.
        std::vector<std::uint16_t> units;
        while (input.remaining_bytes() >= 2) {
            units.push_back(input.ConsumeIntegral<std::uint16_t>());
        }
        check_text(
            QString(reinterpret_cast<const QChar *>(units.data()), static_cast<int>(units.size())));
    }
    return 0;
}
