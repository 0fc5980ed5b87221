#pragma once

#include "report/report_request.h"
#include "server/report_receiver.h"
#include "server/report_store.h"

#include <QHostAddress>
#include <QString>

#include <vector>

// The report receiver, in process, on the host and port the tool is built to report to, storing
// into the given SQLite file. Suites that use it hold the CTest resource lock "report_host".
class LocalReceiver {
public:
    explicit LocalReceiver(const QString &file) {
        const QUrl endpoint = report_endpoint();
        ok_ = store_.open(file.toStdString()) == 0 &&
              receiver_.bind(QHostAddress(endpoint.host()).toString().toStdString(),
                             endpoint.port(80)) > 0 &&
              receiver_.start() == 0;
    }
    bool ok() const { return ok_; }
    std::vector<StoredReport> reports() {
        std::vector<StoredReport> reports;
        store_.list(reports);
        return reports;
    }

private:
    ReportStore store_;
    ReportReceiver receiver_{store_};
    bool ok_ = false;
};
