#include "server/receiver_options.h"

#include <httplib.h>
#include <sqlite3.h>

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <iterator>

namespace {

int free_port() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool listening(int port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    return socket.waitForConnected(200);
}

int count_rows(const QString &file, const char *sql) {
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    int count = -1;
    if (sqlite3_open(file.toUtf8().constData(), &db) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        count = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
}

} // namespace

class TestReceiverExecutable : public QObject {
    Q_OBJECT

private slots:
    void options_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("database");
        QTest::newRow("defaults") << QStringList{} << true << "127.0.0.1" << 8080
                                  << "reports.sqlite3";
        QTest::newRow("separate values")
            << QStringList{"--address", "0.0.0.0", "--port", "9000", "--database", "/tmp/r.db"}
            << true << "0.0.0.0" << 9000 << "/tmp/r.db";
        QTest::newRow("joined values")
            << QStringList{"--port=1", "--database=x=y.db"} << true << "127.0.0.1" << 1 << "x=y.db";
        QTest::newRow("port zero") << QStringList{"--port", "0"} << false << "" << 0 << "";
        QTest::newRow("port too big") << QStringList{"--port", "65536"} << false << "" << 0 << "";
        QTest::newRow("port not a number")
            << QStringList{"--port", "80a"} << false << "" << 0 << "";
        QTest::newRow("missing value") << QStringList{"--database"} << false << "" << 0 << "";
        QTest::newRow("empty address") << QStringList{"--address="} << false << "" << 0 << "";
        QTest::newRow("unknown") << QStringList{"--verbose"} << false << "" << 0 << "";
    }
    void options() {
        QFETCH(QStringList, args);
        QFETCH(bool, valid);
        std::vector<std::string> texts{"report-receiver"};
        std::transform(args.begin(), args.end(), std::back_inserter(texts),
                       [](const QString &arg) { return arg.toStdString(); });
        std::vector<const char *> argv;
        std::transform(texts.begin(), texts.end(), std::back_inserter(argv),
                       [](const std::string &text) { return text.c_str(); });
        ReceiverOptions options;
        std::string error;
        const int result = parse_receiver_options(int(argv.size()), argv.data(), options, error);
        QCOMPARE(result == 0, valid);
        if (!valid) {
            QVERIFY(!error.empty());
            return;
        }
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(QString, database);
        QCOMPARE(QString::fromStdString(options.address), address);
        QCOMPARE(options.port, port);
        QCOMPARE(QString::fromStdString(options.database), database);
    }

    void stores_reports_and_stops_cleanly_on_signals_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void stores_reports_and_stops_cleanly_on_signals() {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString database = dir.filePath("reports.sqlite3");
        const int port = free_port();
        QProcess receiver;
        receiver.start(REPORT_RECEIVER_PATH,
                       {"--port", QString::number(port), "--database", database});
        QVERIFY(receiver.waitForStarted());

        QTRY_VERIFY(listening(port));
        httplib::Client client("127.0.0.1", port);
        const auto res = client.Post("/connect/lorvask.php?=&nome=Jos%C3%A9", "", "text/plain");
        QVERIFY(res);
        QCOMPARE(res->body, std::string("OK"));

        ::kill(static_cast<pid_t>(receiver.processId()), signal);
        QVERIFY(receiver.waitForFinished(10000));
        QCOMPARE(receiver.exitStatus(), QProcess::NormalExit);
        QCOMPARE(receiver.exitCode(), 0);
        QCOMPARE(count_rows(database, "SELECT COUNT(*) FROM reports;"), 1);
        QCOMPARE(count_rows(database, "SELECT COUNT(*) FROM report_items;"), 2);
    }

    void refuses_a_port_in_use() {
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        QTemporaryDir dir;
        QProcess receiver;
        receiver.start(REPORT_RECEIVER_PATH, {"--port", QString::number(holder.serverPort()),
                                              "--database", dir.filePath("r.sqlite3")});
        QVERIFY(receiver.waitForFinished(10000));
        QCOMPARE(receiver.exitCode(), 1);
    }
};

QTEST_GUILESS_MAIN(TestReceiverExecutable)
#include "tst_server_executable.moc"
