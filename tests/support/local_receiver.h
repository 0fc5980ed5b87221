#pragma once

#include "report/report_request.h"
#include "server/receiver/report_receiver.h"
#include "server/store/report_store.h"

#include <QHostAddress>
#include <QString>

#include <memory>
#include <vector>

// The report receiver, in process, on the host and port the tool is built to report to, storing
// into the given SQLite file. Suites that use it hold the CTest resource lock "report_host".
class LocalReceiver {
public:
    explicit LocalReceiver(const QString &file) {
        const QUrl endpoint = report_endpoint();
        std::string error;
        if (open_report_store(file.toStdString(), store_, error) != 0)
            return;
        receiver_ = std::make_unique<ReportReceiver>(*store_, ReceiverSettings{});
        ok_ = receiver_->start(QHostAddress(endpoint.host()).toString().toStdString(),
                               endpoint.port(80)) > 0;
    }
    bool ok() const { return ok_; }
    // Every stored report, newest first.
    std::vector<StoredReport> reports() {
        std::vector<StoredReport> all;
        std::vector<StoredReport> page;
        long long before = 0;
        while (store_->page({before, 500}, page) == 0 && !page.empty()) {
            before = page.back().id;
            all.insert(all.end(), page.begin(), page.end());
        }
        return all;
    }

private:
    std::unique_ptr<ReportStore> store_;
    std::unique_ptr<ReportReceiver> receiver_;
    bool ok_ = false;
};
