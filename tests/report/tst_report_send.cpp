#include "local_receiver.h"
#include "modal_answerer.h"
#include "odd_server.h"
#include "progress_log.h"
#include "report/report_items.h"
#include "report/report_request.h"
#include "report/report_wait.h"
#include "server/report_receiver.h"
#include "server/report_store.h"
#include "test_access.h"
#include "ui/veltora_motor.h"

#include <QFrame>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <iterator>
#include <memory>

using Access = Veltora_Motor_TestAccess;

namespace {

QString failure_text() {
    return QString::fromUtf8("Falha ao enviar o relatório!");
}

QHostAddress report_address() {
    return QHostAddress(report_endpoint().host());
}
quint16 report_port() {
    return static_cast<quint16>(report_endpoint().port(80));
}

// The customer as the tool finds it in its settings store when the window opens.
void store_customer(const ReportCustomer &customer) {
    QCoreApplication::setOrganizationName(QStringLiteral("Veltora Ltda."));
    QCoreApplication::setOrganizationDomain(QStringLiteral("veltora.com.br"));
    QCoreApplication::setApplicationName(QString::fromUtf8("Veltora Zazurad - Motorização"));
    QSettings store;
    store.setValue("Nome", customer.name);
    store.setValue("Email", customer.email);
    store.setValue("Telefone", customer.phone);
    store.setValue("CPF", customer.cpf);
    store.setValue("CNPJ", customer.cnpj);
    store.setValue("CEP", customer.cep);
    store.setValue("Tipo", "Pessoa Fisica");
}

FormItems as_form_items(const ReportItems &items) {
    FormItems out;
    std::transform(items.begin(), items.end(), std::back_inserter(out), [](const ReportItem &item) {
        return FormItem(item.first.toStdString(), item.second.toStdString());
    });
    return out;
}

std::uint32_t f32_word(float value) {
    std::uint32_t word = 0;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

void fill_chair(DeviceData &panel, DeviceData &drive) {
    panel.params[1] = 0x00414243;
    panel.params[2] = 0x00313233;
    panel.params[3] = 7;
    panel.params[5] = 0x0102;
    for (auto &[number, value] : panel.events)
        value = number;
    drive.params[1] = 0x006B7274;
    drive.params[2] = 0x00303731;
    drive.params[3] = 99;
    drive.params[9] = 2;
    drive.params[13] = f32_word(0.0165f);
    drive.params[15] = static_cast<std::uint32_t>(-5);
    drive.params[44] = 259;
}

} // namespace

class TestSendReport : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    int database_count = 0;

    QString new_database() {
        return dir.filePath(QStringLiteral("reports-%1.sqlite3").arg(++database_count));
    }

    static std::unique_ptr<Veltora_Motor> open_window(const ReportCustomer &customer) {
        store_customer(customer);
        auto window = std::make_unique<Veltora_Motor>();
        window->show();
        return window;
    }

    static ReportItems expected_items(Veltora_Motor &w, const ReportCustomer &customer) {
        return build_report_items(customer, Access::cable_product_id(w), Access::panel_data(w),
                                  Access::drive_data(w));
    }

    static int send(Veltora_Motor &w) { return Access::run_job(w, Access::send_report()); }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QCOMPARE(report_answer_wait_ms(), 15000);
    }

    void accepted_report_is_stored_exactly_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("email");
        QTest::newRow("plain") << "Maria Souza"
                               << "maria@exemplo.com.br";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("delimiters") << "A+B & C=D %41 #x ?y"
                                    << "a+b@x.com";
        QTest::newRow("accents and emoji")
            << QString::fromUtf8("José Ação Ü 😀 €") << "jose.o'neil+1@x.com.br";
        QTest::newRow("escapes and blanks") << "%2B%26 + + %"
                                            << "x+%20@y.org";
    }
    void accepted_report_is_stored_exactly() {
        QFETCH(QString, name);
        QFETCH(QString, email);
        const ReportCustomer customer{
            name, email, "(11) 987654321", "01310-100", "529.982.247-25", "11.222.333/0001-81"};
        auto w = open_window(customer);
        Access::set_cable_product_id(*w, 0x8358);
        fill_chair(Access::panel_data(*w), Access::drive_data(*w));
        LocalReceiver receiver(new_database());
        QVERIFY(receiver.ok());
        ModalAnswerer answerer;

        QCOMPARE(send(*w), 0);
        QCOMPARE(answerer.texts(), QStringList());
        const auto reports = receiver.reports();
        QCOMPARE(reports.size(), std::size_t(1));
        QVERIFY(reports[0].items == as_form_items(expected_items(*w, customer)));
        QCOMPARE(reports[0].items.size(), std::size_t(141));
        QCOMPARE(QString::fromStdString(reports[0].items[1].second), name);
        QCOMPARE(QString::fromStdString(reports[0].items[2].second), email);
        QCOMPARE(reports[0].items[7].second, std::string("Usuario"));
        QCOMPARE(reports[0].items[8].second, std::string("ABC123000007"));
    }

    void progress_frame_and_second_run() {
        auto w = open_window({});
        LocalReceiver receiver(new_database());
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

        // The second report of a service carries the chair as it is then.
        Access::drive_data(*w).params[9] = 4;
        QCOMPARE(send(*w), 0);
        const auto reports = receiver.reports();
        QCOMPARE(reports.size(), std::size_t(2));
        QCOMPARE(reports[0].items[73], (FormItem{"drive_motorizacao", "TRV"}));
        QCOMPARE(reports[1].items[73], (FormItem{"drive_motorizacao", "KRT"}));
        QCOMPARE(answerer.texts(), QStringList());
    }

    void answers_data() {
        QTest::addColumn<QList<OddServer::Piece>>("script");
        QTest::addColumn<int>("result");
        const QByteArray head_of_two = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n";
        QTest::newRow("OK") << QList<OddServer::Piece>{{0, OddServer::ok_answer("OK")}} << 0;
        QTest::newRow("lower case")
            << QList<OddServer::Piece>{{0, OddServer::ok_answer("ok")}} << 0;
        QTest::newRow("mixed case")
            << QList<OddServer::Piece>{{0, OddServer::ok_answer("oK")}} << 0;
        QTest::newRow("text ends at zero byte")
            << QList<OddServer::Piece>{{0, OddServer::ok_answer(QByteArray("OK\0junk", 7))}} << 0;
        QTest::newRow("OK in two pieces")
            << QList<OddServer::Piece>{{0, head_of_two + "O"}, {150, "K"}} << 0;
        QTest::newRow("headers then body later")
            << QList<OddServer::Piece>{{0, head_of_two}, {150, "OK"}} << 0;
        QTest::newRow("NOK") << QList<OddServer::Piece>{{0, OddServer::ok_answer("NOK")}} << -8;
        QTest::newRow("OK and line feed")
            << QList<OddServer::Piece>{{0, OddServer::ok_answer("OK\n")}} << -8;
        QTest::newRow("OK then more later")
            << QList<OddServer::Piece>{{0, "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nOK"},
                                       {150, "OK"}}
            << -8;
        QTest::newRow("empty answer")
            << QList<OddServer::Piece>{{0, OddServer::ok_answer("")}} << -8;
        QTest::newRow("500 saying OK")
            << QList<OddServer::Piece>{{0, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: "
                                           "2\r\n\r\nOK"}}
            << -8;
        QTest::newRow("404 saying OK")
            << QList<OddServer::Piece>{{0, "HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nOK"}}
            << -8;
    }
    void answers() {
        QFETCH(QList<OddServer::Piece>, script);
        QFETCH(int, result);
        auto w = open_window({});
        OddServer server(script);
        QVERIFY(server.listen(report_address(), report_port()));
        ModalAnswerer answerer;
        ProgressLog progress(*w);

        QCOMPARE(send(*w), result);
        QCOMPARE(answerer.texts(), result == 0 ? QStringList() : QStringList{failure_text()});
        QCoreApplication::processEvents();
        QCOMPARE(progress.texts.last(), QString("Veltora Zazurad"));
        QCOMPARE(progress.maximums.last(), 100);
    }

    void request_is_the_encoded_url_twice() {
        const ReportCustomer customer{
            QString::fromUtf8("Zé+Ana&Co=1 %"), "a+b@x.com", "", "", "", ""};
        auto w = open_window(customer);
        OddServer server({{0, OddServer::ok_answer("OK")}});
        QVERIFY(server.listen(report_address(), report_port()));
        ModalAnswerer answerer;
        QCOMPARE(send(*w), 0);
        QVERIFY(server.request_complete());

        const QByteArray query = encode_report_query(expected_items(*w, customer));
        QVERIFY(query.startsWith("=&nome=Z%C3%A9%2BAna%26Co%3D1%20%25&email=a%2Bb%40x.com&"));
        const QList<QByteArray> lines = server.request_head().split('\n');
        QCOMPARE(lines[0].trimmed(), "POST /connect/lorvask.php?" + query + " HTTP/1.1");
        bool content_type_seen = false;
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("content-type:")) {
                QCOMPARE(line.mid(13).trimmed(), QByteArray("application/x-www-form-urlencoded"));
                content_type_seen = true;
            }
        }
        QVERIFY(content_type_seen);
        QCOMPARE(server.request_body(), report_endpoint().toEncoded() + "?" + query);
    }

    // The one test that spends real time on the network's own failure.
    void refused_connection_fails() {
        auto w = open_window({});
        ModalAnswerer answerer;
        QCOMPARE(send(*w), -8);
        QCOMPARE(answerer.texts(), QStringList{failure_text()});
    }

    void silent_server_times_out_and_is_abandoned() {
        auto w = open_window({});
        OddServer server({});
        QVERIFY(server.listen(report_address(), report_port()));
        ModalAnswerer answerer;
        QCOMPARE(replace_report_answer_wait(300), report_answer_wait_default_ms);

        const int result = send(*w);
        replace_report_answer_wait(0);
        QCOMPARE(result, -8);
        QCOMPARE(answerer.texts(), QStringList{failure_text()});
        QVERIFY(server.request_complete());
        QTRY_VERIFY(server.client_gone());
        QCOMPARE(report_answer_wait_ms(), 15000);
    }

    void answer_arriving_after_the_wait_is_a_failure() {
        auto w = open_window({});
        OddServer server({{600, OddServer::ok_answer("OK")}});
        QVERIFY(server.listen(report_address(), report_port()));
        ModalAnswerer answerer;
        replace_report_answer_wait(200);
        const int result = send(*w);
        replace_report_answer_wait(0);
        QCOMPARE(result, -8);
        QCOMPARE(answerer.texts(), QStringList{failure_text()});
    }

    // The largest report the form lets through still fits the receiver's request-line bound.
    void largest_report_is_accepted_whole() {
        const ReportCustomer customer{QString(255, QChar(0x20AC)),
                                      QString(255, QChar('+')),
                                      "(99) 999999999",
                                      "99999-999",
                                      "999.999.999-99",
                                      "99.999.999/9999-99"};
        auto w = open_window(customer);
        DeviceData &panel = Access::panel_data(*w);
        DeviceData &drive = Access::drive_data(*w);
        for (auto &[number, value] : panel.events)
            value = 255;
        for (auto &[number, value] : drive.events)
            value = 255;
        for (auto &[number, word] : panel.params)
            word = 0xFFFFFFFF;
        for (auto &[number, word] : drive.params)
            word = drive_param_type(number) == ParamType::f32   ? f32_word(-FLT_MIN)
                   : drive_param_type(number) == ParamType::i32 ? 0x80000000u
                                                                : 0xFFFFFFFFu;
        drive.params[9] = 3;
        LocalReceiver receiver(new_database());
        QVERIFY(receiver.ok());
        ModalAnswerer answerer;

        QCOMPARE(send(*w), 0);
        const auto reports = receiver.reports();
        QCOMPARE(reports.size(), std::size_t(1));
        QVERIFY(reports[0].items == as_form_items(expected_items(*w, customer)));
        const int size = encode_report_query(expected_items(*w, customer)).size();
        qInfo("largest report query: %d bytes", size);
    }
};

QTEST_MAIN(TestSendReport)
#include "tst_report_send.moc"
