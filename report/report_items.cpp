#include "report/report_items.h"

#include "chair/device_identity.h"
#include "chair/motor_profile.h"
#include "chair/motorization.h"

#include <cstring>

namespace {

constexpr int user_cable_product = 0x8358;
constexpr int service_cable_product = 0x8359;
constexpr std::uint8_t first_reported_param = 8;

QString hex_key(const char *prefix, std::uint8_t number) {
    return QString::fromLatin1(prefix) +
           QStringLiteral("%1").arg(number, 2, 16, QLatin1Char('0')).toUpper();
}

QString serial_item(const DeviceData &data) {
    const QString serial = serial_text(data);
    return serial_is_valid(serial) ? serial : QStringLiteral("------------");
}

void add_events(ReportItems &items, const char *prefix, const DeviceData &data) {
    for (const auto &[number, value] : data.events)
        items.append({hex_key(prefix, number), QString::number(value)});
}

template <typename Format>
void add_params(ReportItems &items, const char *prefix, const DeviceData &data, Format format) {
    for (const auto &[number, word] : data.params) {
        if (number >= first_reported_param)
            items.append({hex_key(prefix, number), format(number, word)});
    }
}

} // namespace

QString cable_kind_text(int cable_product_id) {
    if (cable_product_id == user_cable_product)
        return QStringLiteral("Usuario");
    if (cable_product_id == service_cable_product)
        return QStringLiteral("Assistencia");
    return QStringLiteral("Nao detectado");
}

QString panel_param_text(std::uint8_t number, std::uint32_t word) {
    // Parameters 15 to 30 are full counters; the others hold one byte.
    if (number >= 15 && number <= 30)
        return QString::number(word);
    return QString::number(word & 0xFFu);
}

QString drive_param_text(std::uint8_t number, std::uint32_t word) {
    switch (drive_param_type(number)) {
    case ParamType::u8:
        return QString::number(word & 0xFFu);
    case ParamType::i32:
        return QString::number(static_cast<std::int32_t>(word));
    case ParamType::f32: {
        float value = 0.0f;
        std::memcpy(&value, &word, sizeof value);
        return QString::number(static_cast<double>(value), 'g', 6);
    }
    case ParamType::u32:
        break;
    }
    return QString::number(word);
}

ReportItems build_report_items(const ReportCustomer &customer, int cable_product_id,
                               const DeviceData &panel, const DeviceData &drive) {
    ReportItems items;
    items.reserve(142);
    items.append({QString(), QString()});
    items.append({QStringLiteral("nome"), customer.name});
    items.append({QStringLiteral("email"), customer.email});
    items.append({QStringLiteral("telefone"), customer.phone});
    items.append({QStringLiteral("cep"), customer.cep});
    items.append({QStringLiteral("cpf"), customer.cpf});
    items.append({QStringLiteral("cnpj"), customer.cnpj});
    items.append({QStringLiteral("cabo_comunicacao"), cable_kind_text(cable_product_id)});

    items.append({QStringLiteral("painel_serial"), serial_item(panel)});
    items.append({QStringLiteral("painel_versao_fw"), version_text(param_or_zero(panel, 5))});
    items.append({QStringLiteral("painel_versao_hw"), version_text(param_or_zero(panel, 4))});
    add_events(items, "painel_event_0x", panel);
    add_params(items, "painel_param_0x", panel, panel_param_text);

    items.append({QStringLiteral("drive_serial"), serial_item(drive)});
    items.append({QStringLiteral("drive_versao_fw"), version_text(param_or_zero(drive, 5))});
    items.append({QStringLiteral("drive_versao_hw"), version_text(param_or_zero(drive, 4))});
    items.append(
        {QStringLiteral("drive_motorizacao"), motorization_family_name(param_or_zero(drive, 9))});
    add_events(items, "drive_event_0x", drive);
    add_params(items, "drive_param_0x", drive, drive_param_text);
    return items;
}
