#include "chair/device_identity.h"

#include <QRegExp>

namespace {

void append_serial_characters(QString &text, std::uint32_t word) {
    text.append(QChar(QLatin1Char(static_cast<char>((word >> 16) & 0xFF))));
    text.append(QChar(QLatin1Char(static_cast<char>((word >> 8) & 0xFF))));
    text.append(QChar(QLatin1Char(static_cast<char>(word & 0xFF))));
}

} // namespace

QString serial_text(const DeviceData &data) {
    QString text;
    append_serial_characters(text, param_or_zero(data, 1));
    append_serial_characters(text, param_or_zero(data, 2));
    text.append(QString::number(param_or_zero(data, 3)).rightJustified(6, QLatin1Char('0')));
    return text;
}

bool serial_is_valid(const QString &serial) {
    QRegExp pattern(QStringLiteral("^[a-z0-9]{6}[0-9]{6}$"), Qt::CaseInsensitive, QRegExp::RegExp);
    return pattern.exactMatch(serial);
}

QString version_text(std::uint32_t word) {
    return QStringLiteral("%1.%2").arg((word >> 8) & 0xFF).arg(word & 0xFF);
}
