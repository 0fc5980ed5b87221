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
#include <map>
#include <memory>
#include <thread>

namespace {

const char *const report_path = "/connect/lorvask.php";

// A report as the tool sends it: items in the query, the whole URL again as the body.
httplib::Result post_report(httplib::Client &client, const std::string &query) {
    const std::string target = std::string(report_path) + "?" + query;
    return client.Post(target, "http://127.0.0.1" + target, "application/x-www-form-urlencoded");
}

std::string hex_escaped(const std::string &text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        out += '%';
        out += hex[c >> 4];
        out += hex[c & 0xF];
    }
    return out;
}

std::string query_of(const FormItems &items) {
    std::string query;
    for (std::size_t i = 0; i < items.size(); ++i)
        query +=
            (i > 0 ? "&" : "") + hex_escaped(items[i].first) + "=" + hex_escaped(items[i].second);
    return query;
}

bool run_sql(const QString &file, const char *sql) {
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(file.toUtf8().constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
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

    void stores_the_items_in_order_and_answers_ok() {
        const FormItems items{{"", ""},
                              {"nome", "A+B & C=D %41 #x \xC3\xA9 \xF0\x9F\x98\x80"},
                              {"email", "a+b@x.com"},
                              {"cpf", ""},
                              {"nome", "duplicate keys stay"}};
        const auto before = std::chrono::system_clock::now();
        const auto res = post_report(*client(), query_of(items));
        QVERIFY(res);
        QCOMPARE(res->status, 200);
        QCOMPARE(res->body, std::string("OK"));
        QCOMPARE(res->get_header_value("Content-Type"), std::string("text/plain"));

        const auto reports = stored();
        QCOMPARE(reports.size(), std::size_t(1));
        QVERIFY(reports[0].items == items);
        QCOMPARE(reports[0].client, std::string("127.0.0.1"));
        const QString received = QString::fromStdString(reports[0].received);
        QVERIFY2(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)")
                     .match(received)
                     .hasMatch(),
                 qPrintable(received));
        const QDateTime when = QDateTime::fromString(received, Qt::ISODateWithMs);
        const auto since =
            std::chrono::duration_cast<std::chrono::milliseconds>(before.time_since_epoch());
        QVERIFY(when.toMSecsSinceEpoch() >= since.count() - 1000);
        QVERIFY(when.toMSecsSinceEpoch() <= QDateTime::currentMSecsSinceEpoch() + 1000);
    }

    void plus_and_blank_forms_decode_as_forms_do() {
        const auto res = post_report(*client(), "=&nome=Ana+Maria&x=a%20b%2Bc");
        QVERIFY(res);
        QCOMPARE(res->body, std::string("OK"));
        QVERIFY(stored()[0].items == (FormItems{{"", ""}, {"nome", "Ana Maria"}, {"x", "a b+c"}}));
    }

    void malformed_requests_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("no query") << QByteArray(report_path);
        QTest::newRow("empty query") << QByteArray(report_path) + "?";
        QTest::newRow("only separators") << QByteArray(report_path) + "?&&";
        QTest::newRow("bad escape") << QByteArray(report_path) + "?=&nome=%G1";
        QTest::newRow("cut escape") << QByteArray(report_path) + "?=&nome=%4";
    }
    void malformed_requests() {
        QFETCH(QByteArray, target);
        const auto res = client()->Post(target.constData(), "x", "text/plain");
        QVERIFY(res);
        QCOMPARE(res->status, 400);
        QVERIFY(res->body != "OK");
        QVERIFY(!res->body.empty());
        QVERIFY(stored().empty());
    }

    void other_paths_and_methods_are_not_reports() {
        auto c = client();
        const auto wrong_path = c->Post("/connect/other.php?=&nome=x", "", "text/plain");
        QVERIFY(wrong_path);
        QCOMPARE(wrong_path->status, 404);
        const auto get = c->Get(std::string(report_path) + "?=&nome=x");
        QVERIFY(get);
        QVERIFY(get->status >= 400);
        QVERIFY(get->body != "OK");
        QVERIFY(stored().empty());
    }

    void invalid_utf8_is_stored_as_sent_and_listed_as_replacement() {
        const auto res = post_report(*client(), "=&nome=%FFok");
        QVERIFY(res);
        QCOMPARE(res->body, std::string("OK"));
        QCOMPARE(stored()[0].items[1].second, std::string("\xFFok"));
        const auto listing = client()->Get("/reports");
        QVERIFY(listing);
        const QJsonArray reports = QJsonDocument::fromJson(listing->body.c_str()).array();
        QCOMPARE(reports.at(0)["items"].toArray().at(1).toArray().at(1).toString(),
                 QString::fromUtf8("\xEF\xBF\xBDok"));
    }

    void storage_failure_answers_500_and_keeps_nothing() {
        QVERIFY(run_sql(database,
                        "CREATE TRIGGER refuse BEFORE INSERT ON report_items"
                        " WHEN NEW.position = 2 BEGIN SELECT RAISE(ABORT, 'full'); END;"));
        const auto res = post_report(*client(), "=&nome=a&email=b&cpf=c");
        QVERIFY(res);
        QCOMPARE(res->status, 500);
        QVERIFY(res->body != "OK");
        QVERIFY(stored().empty());

        QVERIFY(run_sql(database, "DROP TRIGGER refuse;"));
        const auto again = post_report(*client(), "=&nome=a&email=b&cpf=c");
        QVERIFY(again);
        QCOMPARE(again->body, std::string("OK"));
        QCOMPARE(stored().size(), std::size_t(1));
        QCOMPARE(stored()[0].items.size(), std::size_t(4));
    }

    void listing_is_newest_first_json() {
        auto c = client();
        for (const char *name : {"first", "second", "third"})
            QCOMPARE(post_report(*c, std::string("=&nome=") + name)->body, std::string("OK"));
        const auto res = c->Get("/reports");
        QVERIFY(res);
        QCOMPARE(res->status, 200);
        QVERIFY(res->get_header_value("Content-Type").find("application/json") == 0);
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(res->body.c_str(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray reports = doc.array();
        QCOMPARE(reports.size(), 3);
        const QStringList names{"third", "second", "first"};
        int last_id = std::numeric_limits<int>::max();
        for (int i = 0; i < 3; ++i) {
            const QJsonObject report = reports.at(i).toObject();
            QVERIFY(report["id"].toInt() < last_id);
            last_id = report["id"].toInt();
            QCOMPARE(report["client"].toString(), QString("127.0.0.1"));
            QVERIFY(!report["received"].toString().isEmpty());
            QCOMPARE(report["items"].toArray(),
                     (QJsonArray{QJsonArray{"", ""}, QJsonArray{"nome", names[i]}}));
        }
    }

    void reports_outlive_the_receiver() {
        QCOMPARE(post_report(*client(), "=&nome=kept")->body, std::string("OK"));
        receiver.reset();
        store = std::make_unique<ReportStore>();
        QCOMPARE(store->open(database.toStdString()), 0);
        const auto reports = stored();
        QCOMPARE(reports.size(), std::size_t(1));
        QVERIFY(reports[0].items == (FormItems{{"", ""}, {"nome", "kept"}}));
    }

    void request_size_is_bounded() {
        auto c = client();
        // A full report with hostile 255-character names stays far below the request line bound.
        const std::string long_value(7000, 'a');
        const auto near = post_report(*c, "=&nome=" + long_value);
        QVERIFY(near);
        QCOMPARE(near->body, std::string("OK"));
        QCOMPARE(stored()[0].items[1].second, long_value);

        const auto long_line = post_report(*c, "=&nome=" + std::string(9000, 'a'));
        QVERIFY(long_line);
        QCOMPARE(long_line->status, 414);

        const std::string target = std::string(report_path) + "?=&nome=x";
        const auto big_body =
            c->Post(target, std::string(std::size_t{70} * 1024, 'b'), "text/plain");
        QVERIFY(big_body);
        QCOMPARE(big_body->status, 413);
        QCOMPARE(stored().size(), std::size_t(1));
    }

    void concurrent_posts_are_all_stored_intact() {
        constexpr int threads = 8;
        constexpr int per_thread = 25;
        std::atomic<int> accepted{0};
        auto expected_items = [](int t, int n) {
            FormItems items{{"", ""}, {"thread", std::to_string(t)}, {"n", std::to_string(n)}};
            for (int k = 0; k < 40; ++k)
                items.emplace_back("k" + std::to_string(k), "v&=+% " + std::to_string(t * k + n));
            return items;
        };
        std::vector<std::thread> senders;
        senders.reserve(threads);
        for (int t = 0; t < threads; ++t) {
            senders.emplace_back([&, t] {
                auto c = client();
                for (int n = 0; n < per_thread; ++n) {
                    const auto res = post_report(*c, query_of(expected_items(t, n)));
                    if (res && res->status == 200 && res->body == "OK")
                        ++accepted;
                }
            });
        }
        for (auto &sender : senders)
            sender.join();
        QCOMPARE(accepted.load(), threads * per_thread);

        std::map<std::pair<std::string, std::string>, int> seen;
        for (const StoredReport &report : stored()) {
            QVERIFY(report.items.size() >= 3);
            const int t = std::stoi(report.items[1].second);
            const int n = std::stoi(report.items[2].second);
            QVERIFY(report.items == expected_items(t, n));
            ++seen[{report.items[1].second, report.items[2].second}];
        }
        QCOMPARE(int(seen.size()), threads * per_thread);
        for (const auto &entry : seen)
            QCOMPARE(entry.second, 1);
    }
};

QTEST_GUILESS_MAIN(TestReportReceiver)
#include "tst_server_receiver.moc"
