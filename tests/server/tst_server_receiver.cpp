#include "server/report_receiver.h"
#include "server/report_store.h"

#include <httplib.h>
#include <sqlite3.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <set>
#include <thread>

namespace {

std::string report_path() {
    return "/connect/lorvask.php";
}

// A report as the tool sends it: items in the query, the whole URL again as the body.
httplib::Result post_report(httplib::Client &client, const std::string &query) {
    const std::string target = report_path() + "?" + query;
    return client.Post(target, "http://127.0.0.1" + target, "application/x-www-form-urlencoded");
}

// Everything but the unreserved characters escaped, as the tool does.
std::string query_of(const FormItems &items) {
    std::string query;
    for (const auto &[key, value] : items)
        query += (query.empty() ? "" : "&") +
                 QByteArray::fromStdString(key).toPercentEncoding().toStdString() + "=" +
                 QByteArray::fromStdString(value).toPercentEncoding().toStdString();
    return query;
}

} // namespace

class TestReportReceiver : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString database;
    std::unique_ptr<ReportStore> store;
    std::unique_ptr<ReportReceiver> receiver;
    int port = 0;

    std::unique_ptr<httplib::Client> client() {
        auto c = std::make_unique<httplib::Client>("127.0.0.1", port);
        c->set_url_encode(false);
        return c;
    }

    std::vector<StoredReport> stored() {
        std::vector<StoredReport> reports;
        if (store->list(reports) != 0)
            qFatal("listing failed");
        return reports;
    }

private slots:
    void init() {
        static int count = 0;
        database = dir.filePath(QStringLiteral("reports-%1.sqlite3").arg(++count));
        store = std::make_unique<ReportStore>();
        QCOMPARE(store->open(database.toStdString()), 0);
        receiver = std::make_unique<ReportReceiver>(*store);
        port = receiver->bind("127.0.0.1", 0);
        QVERIFY(port > 0);
        QCOMPARE(receiver->start(), 0);
    }

    void cleanup() {
        receiver.reset();
        store.reset();
    }

    // Plus is a blank as in any form; bytes that are not UTF-8 are kept, and listed as U+FFFD.
    void stores_the_items_as_sent_and_lists_them_newest_first() {
        const FormItems items{{"", ""},
                              {"nome", "A+B & C=D %41 #x \xC3\xA9 \xF0\x9F\x98\x80"},
                              {"cpf", ""},
                              {"nome", "duplicate keys stay"}};
        QCOMPARE(client()->Get("/reports")->body, std::string("[]"));
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const auto res = post_report(*client(), query_of(items));
        QVERIFY(res);
        QCOMPARE(res->status, 200);
        QCOMPARE(res->body, std::string("OK"));
        QCOMPARE(res->get_header_value("Content-Type"), std::string("text/plain"));
        QCOMPARE(post_report(*client(), "=&nome=Ana+Maria%FF&x=a%20b%2Bc")->body, "OK");

        const auto reports = stored();
        QCOMPARE(reports.size(), std::size_t(2));
        QVERIFY(reports[1].items == items);
        QVERIFY(reports[0].items ==
                (FormItems{{"", ""}, {"nome", "Ana Maria\xFF"}, {"x", "a b+c"}}));
        QCOMPARE(reports[1].client, std::string("127.0.0.1"));
        const QString received = QString::fromStdString(reports[1].received);
        const QRegularExpression utc(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)");
        QVERIFY2(utc.match(received).hasMatch(), qPrintable(received));
        const qint64 when = QDateTime::fromString(received, Qt::ISODateWithMs).toMSecsSinceEpoch();
        QVERIFY(when >= before - 1000 && when <= QDateTime::currentMSecsSinceEpoch() + 1000);

        const auto listing = client()->Get("/reports");
        QVERIFY(listing);
        QCOMPARE(listing->status, 200);
        QVERIFY(listing->get_header_value("Content-Type").find("application/json") == 0);
        const QJsonArray json = QJsonDocument::fromJson(listing->body.c_str()).array();
        QCOMPARE(json.size(), 2);
        QVERIFY(json[0]["id"].toInt() > json[1]["id"].toInt());
        QCOMPARE(json[1]["received"].toString(), received);
        QCOMPARE(json[1]["client"].toString(), QString("127.0.0.1"));
        QCOMPARE(json[0]["items"].toArray(),
                 (QJsonArray{QJsonArray{"", ""},
                             QJsonArray{"nome", QString::fromUtf8("Ana Maria\xEF\xBF\xBD")},
                             QJsonArray{"x", "a b+c"}}));
    }

    // Includes a sound report that the store fails halfway through.
    void refused_requests_store_nothing() {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(database.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db,
                              "CREATE TRIGGER refuse BEFORE INSERT ON report_items WHEN"
                              " NEW.position = 2 BEGIN SELECT RAISE(ABORT, 'full'); END;",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        // Target, body size (none: a GET) and status (0: any error).
        const std::tuple<std::string, std::size_t, int> cases[] = {
            {report_path(), 1, 400},
            {report_path() + "?&&", 1, 400},
            {report_path() + "?=&nome=%G1", 1, 400},
            {"/connect/other.php?=&nome=x", 1, 404},
            {report_path() + "?=&nome=x", 0, 0},
            {report_path() + "?=&nome=" + std::string(9000, 'a'), 1, 414},
            {report_path() + "?=&nome=x", std::size_t{70} * 1024, 413},
            {report_path() + "?=&nome=a&email=b&cpf=c", 1, 500}};
        for (const auto &[target, size, status] : cases) {
            const auto res = size == 0
                                 ? client()->Get(target)
                                 : client()->Post(target, std::string(size, 'b'), "text/plain");
            QVERIFY(res);
            QVERIFY2(status == 0 ? res->status >= 400 : res->status == status,
                     target.substr(0, 40).c_str());
            QVERIFY(res->body != "OK" && (status != 400 || !res->body.empty()));
        }
        QVERIFY(stored().empty());
    }

    void reports_outlive_the_receiver() {
        QCOMPARE(post_report(*client(), "=&nome=kept")->body, std::string("OK"));
        receiver.reset();
        store = std::make_unique<ReportStore>();
        QCOMPARE(store->open(database.toStdString()), 0);
        QCOMPARE(stored().size(), std::size_t(1));
        QVERIFY(stored()[0].items == (FormItems{{"", ""}, {"nome", "kept"}}));
    }

    void concurrent_posts_are_all_stored_intact() {
        constexpr int threads = 8;
        constexpr int per_thread = 25;
        const auto items_of = [](int t, int n) {
            FormItems items{{"", ""}, {"thread", std::to_string(t)}, {"n", std::to_string(n)}};
            for (int k = 0; k < 40; ++k)
                items.emplace_back("k" + std::to_string(k), "v&=+% " + std::to_string(t * k + n));
            return items;
        };
        std::atomic<int> accepted{0};
        std::vector<std::thread> senders;
        senders.reserve(threads);
        for (int t = 0; t < threads; ++t) {
            senders.emplace_back([&, t] {
                auto c = client();
                for (int n = 0; n < per_thread; ++n) {
                    const auto res = post_report(*c, query_of(items_of(t, n)));
                    if (res && res->status == 200 && res->body == "OK")
                        ++accepted;
                }
            });
        }
        for (auto &sender : senders)
            sender.join();
        QCOMPARE(accepted.load(), threads * per_thread);

        std::set<std::pair<int, int>> seen;
        for (const StoredReport &report : stored()) {
            QVERIFY(report.items.size() >= 3);
            const int t = std::stoi(report.items[1].second);
            const int n = std::stoi(report.items[2].second);
            QVERIFY(report.items == items_of(t, n));
            QVERIFY(seen.insert({t, n}).second);
        }
        QCOMPARE(int(seen.size()), threads * per_thread);
    }
};

QTEST_GUILESS_MAIN(TestReportReceiver)
#include "tst_server_receiver.moc"
