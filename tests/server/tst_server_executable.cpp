#include "server/receiver_options.h"
#include "server/report_store.h"

#include <httplib.h>

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestReceiverExecutable : public QObject {
    Q_OBJECT

private slots:
    // Arguments, and the address, port and database they give (nothing when refused).
    void options() {
        const std::pair<QString, QString> cases[] = {
            {"", "127.0.0.1 8080 reports.sqlite3"},
            {"--address 0.0.0.0 --port 9000 --database /tmp/r.db", "0.0.0.0 9000 /tmp/r.db"},
            {"--port=1 --database=x=y.db", "127.0.0.1 1 x=y.db"},
            {"--port 0", ""},
            {"--port 65536", ""},
            {"--port 80a", ""},
            {"--database", ""},
            {"--address=", ""},
            {"--verbose", ""}};
        for (const auto &[args, parsed] : cases) {
            const QStringList words = args.split(' ', Qt::SkipEmptyParts);
            std::vector<std::string> texts{"report-receiver"};
            std::transform(words.begin(), words.end(), std::back_inserter(texts),
                           [](const QString &word) { return word.toStdString(); });
            std::vector<const char *> argv(texts.size());
            std::transform(texts.begin(), texts.end(), argv.begin(),
                           [](const std::string &text) { return text.c_str(); });
            ReceiverOptions o;
            std::string error;
            const int result = parse_receiver_options(int(argv.size()), argv.data(), o, error);
            QCOMPARE(
                result == 0
                    ? QString("%1 %2 %3").arg(o.address.c_str()).arg(o.port).arg(o.database.c_str())
                    : QString(),
                parsed);
            QVERIFY(result == 0 || !error.empty());
        }
    }

    void stores_reports_and_stops_cleanly_on_signals() {
        for (const int signal : {SIGTERM, SIGINT}) {
            QTemporaryDir dir;
            const QString database = dir.filePath("reports.sqlite3");
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            const quint16 port = probe.serverPort();
            probe.close();
            QProcess receiver;
            receiver.start(REPORT_RECEIVER_PATH,
                           {"--port", QString::number(port), "--database", database});
            QVERIFY(receiver.waitForStarted());
            QTRY_VERIFY([port] {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, port);
                return socket.waitForConnected(200);
            }());
            httplib::Client client("127.0.0.1", port);
            const auto res = client.Post("/connect/lorvask.php?=&nome=Jos%C3%A9", "", "text/plain");
            QVERIFY(res);
            QCOMPARE(res->body, std::string("OK"));

            ::kill(static_cast<pid_t>(receiver.processId()), signal);
            QVERIFY(receiver.waitForFinished(10000));
            QCOMPARE(receiver.exitStatus(), QProcess::NormalExit);
            QCOMPARE(receiver.exitCode(), 0);
            ReportStore store;
            std::vector<StoredReport> reports;
            QCOMPARE(store.open(database.toStdString()), 0);
            QCOMPARE(store.list(reports), 0);
            QCOMPARE(reports.size(), std::size_t(1));
            QVERIFY(reports[0].items == (FormItems{{"", ""}, {"nome", "Jos\xC3\xA9"}}));
        }
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
