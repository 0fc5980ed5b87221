#include "app/modal_answerer.h"
#include "local_receiver.h"
#include "progress_log.h"
#include "report/report_items.h"
#include "report/report_post.h"
#include "report/report_request.h"
#include "report/report_wait.h"
#include "scripted_server.h"
#include "test_access.h"
#include "ui/veltora_motor.h"

#include <QFrame>
#include <QProcess>
#include <QSettings>
#include <QSslCertificate>
#include <QSslKey>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <memory>

using Access = Veltora_Motor_TestAccess;

namespace {

// An answer's head announcing a body of that length.
QByteArray head(int length, const QByteArray &status = "200 OK") {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n";
}

const QStringList failed{"Falha ao enviar o relatório!"};

// The window as it opens with this customer, a person, in its settings store.
std::unique_ptr<Veltora_Motor> open_window(const ReportCustomer &customer) {
    QSettings store(QStringLiteral("Veltora Ltda."),
                    QStringLiteral("Veltora Zazurad - Motorização"));
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

ReportItems items_of(Veltora_Motor &w, const ReportCustomer &customer) {
    return build_report_items(customer, Access::cable_product_id(w), Access::panel_data(w),
                              Access::drive_data(w));
}

int send(Veltora_Motor &w) {
    return Access::run_job(w, Access::send_report());
}

std::uint32_t f32_word(float value) {
    std::uint32_t word = 0;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

// A certificate made now by the openssl command, as dir's name.pem and name.key: a CA of its own
// unless more names the CA that signs it.
bool make_certificate(const QTemporaryDir &dir, const QString &name, const QStringList &more = {}) {
    QProcess openssl;
    openssl.setWorkingDirectory(dir.path());
    openssl.start("openssl",
                  QStringList{"req", "-x509", "-newkey", "ec", "-pkeyopt",
                              "ec_paramgen_curve:P-256", "-nodes", "-days", "1", "-subj",
                              "/CN=" + name, "-keyout", name + ".key", "-out", name + ".pem"} +
                      more);
    return openssl.waitForFinished() && openssl.exitCode() == 0;
}

} // namespace

class ReportTest : public QObject {
    Q_OBJECT

private slots:
    // The real receiver checks every key in its place, so a stored report equal to the items
    // built here has the report's layout; delimiters, escapes and accents must arrive exactly.
    void report_reaches_the_receiver_exactly() {
        const ReportCustomer customer{"A+B & C=D %41 #x ?y %2B%26 José 😀 €",
                                      "x+%20@y.org",
                                      "%41%zz #frag?x",
                                      " lead trail ",
                                      "a\tb\nc\"'<>\\/",
                                      ""};
        auto w = open_window(customer);
        ModalAnswerer answerer;
        auto *frame = w->findChild<QFrame *>("main_frame");
        QVERIFY(frame != nullptr && frame->isEnabled());
        QCOMPARE(send(*w), -8); // nobody listens yet
        QVERIFY(!frame->isEnabled());
        QCOMPARE(answerer.texts(), failed);

        QTemporaryDir dir;
        LocalReceiver receiver(dir.filePath("reports.sqlite3"));
        QVERIFY(receiver.ok());
        ProgressLog progress(*w);
        QCOMPARE(send(*w), 0);
        QCoreApplication::processEvents();
        QCOMPARE(progress.texts, (QStringList{"Enviando relatório ...", "Veltora Zazurad"}));
        QCOMPARE(progress.maximums, (QVector<int>{0, 100}));
        QCOMPARE(progress.values, (QVector<int>{0}));
        QVERIFY(progress.all_on_gui_thread);
        QCOMPARE(answerer.texts(), failed); // nothing more

        const auto reports = receiver.reports();
        QCOMPARE(reports.size(), std::size_t(1));
        FormItems expected;
        for (const ReportItem &item : items_of(*w, customer))
            expected.emplace_back(item.first.toStdString(), item.second.toStdString());
        QVERIFY(reports[0].items == expected);
        QCOMPARE(QString::fromStdString(reports[0].items[1].second), customer.name);
    }

    // Per answer: the result, the message, the progress bar reset, and the request as sent: the
    // encoded report both in the URL and as the form body.
    void answers_data() {
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("wait");
        QTest::addColumn<int>("result");
        QTest::newRow("OK") << Script{{0, head(2) + "OK"}} << 0 << 0;
        QTest::newRow("mixed case") << Script{{0, head(2) + "oK"}} << 0 << 0;
        QTest::newRow("text ends at zero byte")
            << Script{{0, head(7) + QByteArray("OK\0junk", 7)}} << 0 << 0;
        QTest::newRow("OK in two pieces") << Script{{0, head(2) + "O"}, {150, "K"}} << 0 << 0;
        QTest::newRow("NOK") << Script{{0, head(3) + "NOK"}} << 0 << -8;
        QTest::newRow("OK and line feed") << Script{{0, head(3) + "OK\n"}} << 0 << -8;
        QTest::newRow("OK then more later") << Script{{0, head(4) + "OK"}, {150, "OK"}} << 0 << -8;
        QTest::newRow("500 saying OK")
            << Script{{0, head(2, "500 Internal Server Error") + "OK"}} << 0 << -8;
        // The 15 s wait shortened fivefold: an answer at 14 s counts, one at 16 s comes too late;
        // what came of an unfinished answer does not count.
        QTest::newRow("OK at 14 of 15 s") << Script{{2800, head(2) + "OK"}} << 3000 << 0;
        QTest::newRow("OK at 16 of 15 s") << Script{{3200, head(2) + "OK"}} << 3000 << -8;
        QTest::newRow("unfinished OK") << Script{{0, head(4) + "OK"}} << 300 << -8;
    }
    void answers() {
        QFETCH(Script, script);
        QFETCH(int, wait);
        QFETCH(int, result);
        const ReportCustomer customer{"Zé+Ana&Co=1 %", "a+b@x.com", "", "", "", ""};
        auto w = open_window(customer);
        ScriptedServer server(script);
        QVERIFY(server.listening());
        ModalAnswerer answerer;
        ProgressLog progress(*w);
        // The wait the send's timer takes: 15 s, unless the row shortens it.
        QCOMPARE(replace_report_answer_wait(wait), 15000);
        const int sent = send(*w);
        replace_report_answer_wait(0);

        QCOMPARE(sent, result);
        QCOMPARE(answerer.texts(), result == 0 ? QStringList() : failed);
        QCoreApplication::processEvents();
        QCOMPARE(progress.texts.last(), QString("Veltora Zazurad"));
        QCOMPARE(progress.maximums.last(), 100);
        // A client that gave up leaves no request pending.
        if (wait > 0)
            QTRY_VERIFY(server.client_gone);

        const QByteArray query = encode_report_query(items_of(*w, customer));
        QVERIFY(query.startsWith("=&nome=Z%C3%A9%2BAna%26Co%3D1%20%25&email=a%2Bb%40x.com&"));
        QCOMPARE(server.posted.size(), 1);
        const Posted &post = server.posted[0];
        QVERIFY(post.head.startsWith("POST /connect/lorvask.php?" + query + " HTTP/1.1\r\n"));
        QVERIFY(post.head.toLower().contains("content-type: application/x-www-form-urlencoded"));
        QCOMPARE(post.body, report_endpoint().toEncoded() + "?" + query);
        // Beside the body, the run's header, made now; a report sent outside a run is a "before".
        const QRegularExpressionMatch service =
            QRegularExpression(
                "\r\nVeltora-Service: id=[-0-9a-f]{36}; stage=before; made=([-:T0-9]{19}Z)\r\n")
                .match(post.head + "\r\n");
        QVERIFY(service.hasMatch() && qAbs(QDateTime::fromString(service.captured(1), Qt::ISODate)
                                               .secsTo(QDateTime::currentDateTimeUtc())) <= 20);
    }

    // Over TLS, the test's CA installed as a system one would be: only a front whose certificate
    // verifies for its address gets the report, decrypted, and its "OK"; no other gets it, inside
    // TLS or in the clear on a second try.
    void over_tls_data() {
        QTest::addColumn<bool>("trusted_ca");
        QTest::addColumn<QString>("names");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("trusted") << true << "IP:127.0.0.1" << true;
        QTest::newRow("unknown CA") << false << "IP:127.0.0.1" << false;
        QTest::newRow("another name") << true << "DNS:relatorios.example.com" << false;
    }
    void over_tls() {
        QFETCH(bool, trusted_ca);
        QFETCH(QString, names);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        const QString ca = trusted_ca ? "trusted" : "unknown";
        QVERIFY(make_certificate(dir, "trusted") && make_certificate(dir, "unknown") &&
                make_certificate(dir, "front",
                                 {"-CA", ca + ".pem", "-CAkey", ca + ".key", "-addext",
                                  "subjectAltName=" + names}));
        const QSslConfiguration system = QSslConfiguration::defaultConfiguration();
        QSslConfiguration trusting = system;
        trusting.addCaCertificates(QSslCertificate::fromPath(dir.filePath("trusted.pem")));
        QSslConfiguration::setDefaultConfiguration(trusting);
        QSslConfiguration front;
        front.setLocalCertificate(QSslCertificate::fromPath(dir.filePath("front.pem")).value(0));
        QFile key(dir.filePath("front.key"));
        key.open(QIODevice::ReadOnly);
        front.setPrivateKey(QSslKey(&key, QSsl::Ec));
        ScriptedServer server(Script{{0, head(2) + "OK"}}, front);
        if (!accepted)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^Report server's certificate refused: .+"));
        const QUrl endpoint =
            report_endpoint_at("https://127.0.0.1:" + QString::number(server.port()));
        const bool sent =
            post_report({endpoint.toEncoded() + "?=&nome=Jos%C3%A9", ""}, std::atomic<bool>{});
        QSslConfiguration::setDefaultConfiguration(system);

        QCOMPARE(sent, accepted);
        QCOMPARE(server.connections, 1);
        // The front reads only through a completed handshake: a request there went over TLS.
        QCOMPARE(server.posted.size(), accepted ? 1 : 0);
        // Only the whole "https://" asks for TLS: a bare host so named stays plain.
        QCOMPARE(report_endpoint_at("https-front.example").scheme(), QString("http"));
    }

    // Values worked out by hand from the chair's words; the "painel" rows set the panel's words,
    // the others the drive's. Both devices share the serial rule.
    void item_values() {
        using Words = std::vector<std::pair<std::uint8_t, std::uint32_t>>;
        const std::tuple<int, Words, const char *, const char *> rows[] = {
            {0x8358, {}, "cabo_comunicacao", "Usuario"},
            {0x8359, {}, "cabo_comunicacao", "Assistencia"},
            {0x6001, {}, "cabo_comunicacao", "Nao detectado"},
            {0, {}, "painel_serial", "------------"},
            {0, {{1, 0x00414243}, {2, 0x00313233}, {3, 42}}, "painel_serial", "ABC123000042"},
            {0, {{4, 0x0103}, {5, 0x020A}}, "painel_versao_fw", "2.10"},
            {0, {{4, 0x0103}, {5, 0x020A}}, "painel_versao_hw", "1.3"},
            // Parameters 15 to 30 are full counters; the others hold one byte.
            {0, {{30, 0xABCD001E}}, "painel_param_0x1E", "2882338846"},
            {0, {{31, 0x1FF}}, "painel_param_0x1F", "255"},
            {0, {}, "drive_serial", "------------"},
            {0, {{4, 0x0204}, {5, 0x0201}}, "drive_versao_fw", "2.1"},
            {0, {{4, 0x0204}, {5, 0x0201}}, "drive_versao_hw", "2.4"},
            {0, {{9, 0x1FF}}, "drive_param_0x09", "255"},
            {0, {{21, 0xFFFFFFFF}}, "drive_param_0x15", "-1"},
            {0, {{42, 0xFFFFFFFF}}, "drive_param_0x2A", "4294967295"},
            {0, {{13, f32_word(0.0165f)}}, "drive_param_0x0D", "0.0165"},
            {0, {{41, f32_word(-0.00012345678f)}}, "drive_param_0x29", "-0.000123457"},
            {0, {{29, f32_word(1234567)}}, "drive_param_0x1D", "1.23457e+06"},
            {0, {{9, 3}}, "drive_motorizacao", "KRT 071"},
            {0, {{9, 5}}, "drive_motorizacao", "Indefinido"},
            {0, {{1, 0x00616263}, {2, 0x00303132}, {3, 999999}}, "drive_serial", "abc012999999"},
            {0, {{1, 0x7F6B7274}, {2, 0x00303731}, {3, 1}}, "drive_serial", "krt071000001"},
            {0, {{1, 0x00412D43}, {2, 0x00585958}, {3, 1}}, "drive_serial", "------------"},
            {0, {{1, 0x00414243}, {2, 0x00585958}, {3, 1000000}}, "drive_serial", "------------"},
            {0, {{1, 0x00414243}, {2, 0x00585958}, {3, 0}}, "drive_serial", "ABCXYX000000"}};
        for (const auto &[product, words, key, text] : rows) {
            DeviceData panel = make_panel_data();
            DeviceData drive = make_drive_data();
            DeviceData &device = QByteArray(key).startsWith("painel") ? panel : drive;
            for (const auto &[number, word] : words)
                device.params[number] = word;
            const ReportItems items = build_report_items({}, product, panel, drive);
            const auto found =
                std::find_if(items.begin(), items.end(),
                             [key = key](const ReportItem &i) { return i.first == key; });
            QVERIFY2(found != items.end(), key);
            QCOMPARE(found->second, QString(text));
        }
    }
};

QTEST_MAIN(ReportTest)
#include "test_report.moc"
