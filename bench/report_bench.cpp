// Measures the report upload against the local receiver: the time of one post as the tool makes
// it (new manager, full report, whole answer), and the receiver's throughput under many
// concurrent senders, checking that every report was stored intact.
#include "chair/device_data.h"
#include "report/report_items.h"
#include "report/report_request.h"
#include "server/report_receiver.h"
#include "server/report_store.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <thread>
#include <vector>

namespace {

constexpr int single_posts = 200;
constexpr int sender_threads = 8;
constexpr int posts_per_sender = 250;

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

FormItems sent_items(int serial) {
    const ReportItems report = full_report(serial);
    FormItems items;
    std::transform(report.begin(), report.end(), std::back_inserter(items),
                   [](const ReportItem &item) {
                       return FormItem(item.first.toStdString(), item.second.toStdString());
                   });
    return items;
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

int measure_throughput(int port, ReportStore &store) {
    std::vector<std::string> targets;
    targets.reserve(static_cast<std::size_t>(sender_threads) * posts_per_sender);
    for (int i = 0; i < sender_threads * posts_per_sender; ++i)
        targets.push_back("/connect/lorvask.php?" +
                          encode_report_query(full_report(i)).toStdString());
    std::vector<StoredReport> before;
    store.list(before);

    std::atomic<int> accepted{0};
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> senders;
    senders.reserve(sender_threads);
    for (int t = 0; t < sender_threads; ++t) {
        senders.emplace_back([&, t] {
            httplib::Client client("127.0.0.1", port);
            client.set_url_encode(false);
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            for (int n = 0; n < posts_per_sender; ++n) {
                const std::string &target =
                    targets[static_cast<std::size_t>(t) * posts_per_sender + n];
                const auto res = client.Post(target, "http://127.0.0.1" + target,
                                             "application/x-www-form-urlencoded");
                if (res && res->status == 200 && res->body == "OK")
                    ++accepted;
            }
        });
    }
    for (auto &sender : senders)
        sender.join();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    std::vector<StoredReport> after;
    store.list(after);
    const std::size_t stored = after.size() - before.size();
    // The e-mail carries the report's number; each stored report must equal the one sent.
    int intact = 0;
    for (std::size_t i = 0; i < stored; ++i) {
        const FormItems &items = after[i].items;
        const std::size_t at = items.size() > 2 ? items[2].second.find('+') : std::string::npos;
        const int number =
            at == std::string::npos
                ? -1
                : static_cast<int>(std::strtol(items[2].second.c_str() + at + 1, nullptr, 10));
        if (number >= 0 && number < int(targets.size()) && items == sent_items(number))
            ++intact;
    }
    const int sent = sender_threads * posts_per_sender;
    std::printf("throughput: %d reports from %d senders in %.2f s = %.0f reports/s; "
                "accepted %d, stored %zu, stored intact %d\n",
                sent, sender_threads, seconds, sent / seconds, accepted.load(), stored, intact);
    return accepted == sent && stored == std::size_t(sent) && intact == sent ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    ReportStore store;
    if (!dir.isValid() || store.open(dir.filePath("bench.sqlite3").toStdString()) != 0)
        return 1;
    ReportReceiver receiver(store);
    const int port = receiver.bind("127.0.0.1", 0);
    if (port < 0 || receiver.start() != 0)
        return 1;
    const int single = measure_single_posts(port);
    const int many = measure_throughput(port, store);
    receiver.stop();
    return single != 0 || many != 0 ? 1 : 0;
}
