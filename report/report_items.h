#pragma once

#include "chair/device_data.h"

#include <QPair>
#include <QString>
#include <QVector>

#include <cstdint>

// The customer texts as the form last accepted them.
struct ReportCustomer {
    QString name;
    QString email;
    QString phone;
    QString cep;
    QString cpf;
    QString cnpj;
};

using ReportItem = QPair<QString, QString>;
using ReportItems = QVector<ReportItem>;

// The service report: a leading item with empty key and value, then the 141 items of the customer,
// the cable and both devices, in the order the maker's server expects them.
ReportItems build_report_items(const ReportCustomer &customer, int cable_product_id,
                               const DeviceData &panel, const DeviceData &drive);

// "Usuario", "Assistencia" or "Nao detectado" by the USB product id of the open cable.
QString cable_kind_text(int cable_product_id);

// A panel parameter (number 8 or more) as the report writes it.
QString panel_param_text(std::uint8_t number, std::uint32_t word);

// A drive parameter (number 8 or more) as the report writes it, by the drive's parameter type.
QString drive_param_text(std::uint8_t number, std::uint32_t word);
