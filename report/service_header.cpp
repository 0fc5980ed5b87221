#include "report/service_header.h"

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
