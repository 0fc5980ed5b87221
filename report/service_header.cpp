#include "report/service_header.h"

#include <QRegularExpression>

namespace {

const char *stage_text(ServiceStage stage) {
    switch (stage) {
    case ServiceStage::after:
        return "after";
    case ServiceStage::interrupted:
        return "interrupted";
    case ServiceStage::before:
        break;
    }
    return "before";
}

} // namespace

QByteArray service_header_value(const QUuid &run, ServiceStage stage, const QDateTime &made) {
    return "id=" + run.toByteArray(QUuid::WithoutBraces) + "; stage=" + stage_text(stage) +
           "; made=" + made.toUTC().toString(Qt::ISODate).toLatin1();
}

bool is_closing_header_value(const QByteArray &value) {
    static const QRegularExpression form(QStringLiteral(
        "^id=[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}; "
        "stage=(after|interrupted); made=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$"));
    return form.match(QString::fromLatin1(value)).hasMatch();
}
