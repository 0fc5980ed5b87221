#include "local_receiver.h"
#include "modal_answerer.h"
#include "odd_server.h"
#include "progress_log.h"
#include "report/report_items.h"
#include "report/report_request.h"
#include "report/report_wait.h"
#include "test_access.h"
#include "ui/veltora_motor.h"

#include <QFrame>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cfloat>
#include <cstring>
#include <memory>

using Access = Veltora_Motor_TestAccess;
using Script = QList<OddServer::Piece>;

namespace {

QStringList failed() {
    return {QString::fromUtf8("Falha ao enviar o relatório!")};
}

// The window as it opens with this customer in its settings store.
std::unique_ptr<Veltora_Motor> open_window(const ReportCustomer &customer) {
    QCoreApplication::setOrganizationName(QStringLiteral("Veltora Ltda."));
    QCoreApplication::setOrganizationDomain(QStringLiteral("veltora.com.br"));
    QCoreApplication::setApplicationName(QString::fromUtf8("Veltora Zazurad - Motorização"));
    QSettings store;
    const std::pair<const char *, QString> fields[] = {
        {"Nome", customer.name},  {"Email", customer.email}, {"Telefone", customer.phone},
        {"CPF", customer.cpf},    {"CNPJ", customer.cnpj},   {"CEP", customer.cep},
        {"Tipo", "Pessoa Fisica"}};
    for (const auto &[key, value] : fields)
        store.setValue(key, value);
    auto window = std::make_unique<Veltora_Motor>();
    window->show();
    return window;
}

FormItems expected_items(Veltora_Motor &w, const ReportCustomer &customer) {
    const ReportItems items = build_report_items(customer, Access::cable_product_id(w),
                                                 Access::panel_data(w), Access::drive_data(w));
    FormItems out(static_cast<std::size_t>(items.size()));
    std::transform(items.begin(), items.end(), out.begin(), [](const ReportItem &item) {
        return std::make_pair(item.first.toStdString(), item.second.toStdString());
    });
    return out;
}

int send(Veltora_Motor &w) {
    return Access::run_job(w, Access::send_report());
}

bool serve(OddServer &server) {
    return server.listen(QHostAddress(report_endpoint().host()),
                         static_cast<quint16>(report_endpoint().port(80)));
}

} // namespace

class TestSendReport : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    // Delimiters, escapes and accents reach the receiver exactly, twice per service. The first
    // report is larger than any the form lets through and still fits the receiver's bound.
    void reports_are_stored_exactly_with_progress_and_frame() {
        const QString name = QString::fromUtf8("A+B & C=D %41 #x ?y %2B%26 José 😀 €");
        const ReportCustomer customer{name + QString(255 - name.size(), QChar(0x20AC)),
                                      "x+%20@y.org" + QString(244, QChar('+')),
                                      "%41%zz #frag?x",
                                      " lead trail ",
                                      "a\tb\nc\"'<>\\/",
                                      ""};
        auto w = open_window(customer);
        DeviceData &panel = Access::panel_data(*w);
        DeviceData &drive = Access::drive_data(*w);
        for (DeviceData *device : {&panel, &drive})
            for (auto &[number, value] : device->events)
                value = 255;
        for (auto &[number, word] : panel.params)
            word = 0xFFFFFFFF;
        const float tiny = -FLT_MIN;
        for (auto &[number, word] : drive.params) {
            word = drive_param_type(number) == ParamType::i32 ? 0x80000000u : 0xFFFFFFFFu;
            if (drive_param_type(number) == ParamType::f32)
                std::memcpy(&word, &tiny, sizeof word);
        }
        drive.params[9] = 3;
        LocalReceiver receiver(dir.filePath("reports.sqlite3"));
        QVERIFY(receiver.ok());
        ModalAnswerer answerer;
        ProgressLog progress(*w);
        auto *frame = w->findChild<QFrame *>("main_frame");
        QVERIFY(frame != nullptr && frame->isEnabled());

        QCOMPARE(send(*w), 0);
        QCoreApplication::processEvents();
        QCOMPARE(progress.texts,
                 (QStringList{QString::fromUtf8("Enviando relatório ..."), "Veltora Zazurad"}));
        QCOMPARE(progress.maximums, (QVector<int>{0, 100}));
        QCOMPARE(progress.values, (QVector<int>{0}));
        QVERIFY(progress.all_on_gui_thread);
        QVERIFY(!frame->isEnabled());
        const FormItems first = expected_items(*w, customer);

        drive.params[9] = 4;
        QCOMPARE(send(*w), 0);
        const auto reports = receiver.reports();
        QCOMPARE(reports.size(), std::size_t(2));
        QVERIFY(reports[1].items == first);
        QCOMPARE(QString::fromStdString(reports[1].items[1].second), customer.name);
        QCOMPARE(QString::fromStdString(reports[1].items[2].second), customer.email);
        QVERIFY(reports[0].items == expected_items(*w, customer));
        QCOMPARE(reports[0].items[73], (FormItem{"drive_motorizacao", "TRV"}));
        QCOMPARE(answerer.texts(), QStringList());
    }

    void answers_data() {
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("result");
        QTest::newRow("OK") << Script{{0, OddServer::ok_answer("OK")}} << 0;
        QTest::newRow("mixed case") << Script{{0, OddServer::ok_answer("oK")}} << 0;
        // Real time: the answer's whole wait must be there, not a fraction of it.
        QTest::newRow("OK after two seconds") << Script{{2000, OddServer::ok_answer("OK")}} << 0;
        QTest::newRow("text ends at zero byte")
            << Script{{0, OddServer::ok_answer(QByteArray("OK\0junk", 7))}} << 0;
        QTest::newRow("OK in two pieces")
            << Script{{0, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nO"}, {150, "K"}} << 0;
        QTest::newRow("NOK") << Script{{0, OddServer::ok_answer("NOK")}} << -8;
        QTest::newRow("OK and line feed") << Script{{0, OddServer::ok_answer("OK\n")}} << -8;
        QTest::newRow("OK then more later")
            << Script{{0, "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nOK"}, {150, "OK"}} << -8;
        QTest::newRow("empty answer") << Script{{0, OddServer::ok_answer("")}} << -8;
        QTest::newRow("500 saying OK")
            << Script{{0, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 2\r\n\r\nOK"}}
            << -8;
    }
    void answers() {
        QFETCH(Script, script);
        QFETCH(int, result);
        auto w = open_window({});
        OddServer server(script);
        QVERIFY(serve(server));
        ModalAnswerer answerer;
        ProgressLog progress(*w);

        QCOMPARE(send(*w), result);
        QCOMPARE(answerer.texts(), result == 0 ? QStringList() : failed());
        QCoreApplication::processEvents();
        QCOMPARE(progress.texts.last(), QString("Veltora Zazurad"));
        QCOMPARE(progress.maximums.last(), 100);
    }

    void request_is_the_encoded_url_twice() {
        const ReportCustomer customer{
            QString::fromUtf8("Zé+Ana&Co=1 %"), "a+b@x.com", "", "", "", ""};
        auto w = open_window(customer);
        OddServer server({{0, OddServer::ok_answer("OK")}});
        QVERIFY(serve(server));
        ModalAnswerer answerer;
        QCOMPARE(send(*w), 0);

        const QByteArray query =
            encode_report_query(build_report_items(customer, Access::cable_product_id(*w),
                                                   Access::panel_data(*w), Access::drive_data(*w)));
        QVERIFY(query.startsWith("=&nome=Z%C3%A9%2BAna%26Co%3D1%20%25&email=a%2Bb%40x.com&"));
        const QList<QByteArray> lines = server.request_head().split('\n');
        QCOMPARE(lines[0].trimmed(), "POST /connect/lorvask.php?" + query + " HTTP/1.1");
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QByteArray &line) {
            return line.trimmed().toLower() == "content-type: application/x-www-form-urlencoded";
        }));
        QCOMPARE(server.request_body(), report_endpoint().toEncoded() + "?" + query);
    }

    // Refused spends real time on the network's own failure; silence waits a shortened answer
    // wait out, and the pending request is abandoned.
    void refused_and_silent_servers_fail() {
        auto w = open_window({});
        ModalAnswerer answerer;
        QCOMPARE(send(*w), -8);
        OddServer server({});
        QVERIFY(serve(server));
        QCOMPARE(replace_report_answer_wait(300), report_answer_wait_default_ms);
        const int result = send(*w);
        replace_report_answer_wait(0);
        QCOMPARE(result, -8);
        QCOMPARE(answerer.texts(), failed() + failed());
        QVERIFY(server.request_complete());
        QTRY_VERIFY(server.client_gone());
    }
};

QTEST_MAIN(TestSendReport)
#include "tst_report_send.moc"
