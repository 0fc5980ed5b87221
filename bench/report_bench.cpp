// Measures the report upload as the tool makes it (new manager, full report, whole answer) against
// the local receiver with durable commits. The receiver under load and abuse is measured by
// receiver_bench.py.
#include "chair/device_data.h"
#include "report/report_items.h"
#include "report/report_request.h"
#include "server/receiver/report_receiver.h"
#include "server/store/report_store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int single_posts = 200;

ReportItems full_report(int serial) {
    DeviceData panel = make_panel_data();
    DeviceData drive = make_drive_data();
    for (auto &[number, word] : panel.params)
        word = 0x01000000u * number + static_cast<std::uint32_t>(serial);
    for (auto &[number, word] : drive.params)
        word = 0x3C23D70Au + number;
    const ReportCustomer customer{QString::fromUtf8("José da Silva + Filhos & Cia %%d"),
                                  QStringLiteral("oficina+%1@exemplo.com.br").arg(serial),
                                  "(11) 987654321",
                                  "01310-100",
                                  "529.982.247-25",
                                  ""};
    return build_report_items(customer, 0x8359, panel, drive);
}

QUrl url_for(const ReportItems &items, int port) {
    QUrl url = report_url(items);
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(port);
    return url;
}

// One upload as the job makes it; false unless the whole answer is "OK".
bool post_like_the_tool(const QUrl &url) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    QNetworkAccessManager manager;
    QEventLoop loop;
    QNetworkReply *reply = manager.post(request, url.toEncoded(QUrl::RemoveFragment));
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const bool ok = reply->error() == QNetworkReply::NoError && reply->readAll() == "OK";
    delete reply;
    return ok;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int measure_single_posts(int port) {
    std::vector<double> times;
    for (int i = 0; i < single_posts; ++i) {
        const QUrl url = url_for(full_report(i), port);
        QElapsedTimer timer;
        timer.start();
        if (!post_like_the_tool(url)) {
            std::fprintf(stderr, "post %d was not accepted\n", i);
            return 1;
        }
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("single post (new manager, %d bytes of query): median %.2f ms, p90 %.2f ms, "
                "max %.2f ms over %d posts\n",
                static_cast<int>(encode_report_query(full_report(0)).size()), median(times),
                times[times.size() * 9 / 10], times.back(), single_posts);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::unique_ptr<ReportStore> store;
    std::string error;
    if (!dir.isValid() ||
        open_report_store(dir.filePath("bench.sqlite3").toStdString(), store, error) != 0)
        return 1;
    ReportReceiver receiver(*store, ReceiverSettings{});
    const int port = receiver.start("127.0.0.1", 0);
    return port < 0 ? 1 : measure_single_posts(port);
}
