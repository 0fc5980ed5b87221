#include "app/modal_answerer.h"
#include "local_receiver.h"
#include "progress_log.h"
#include "recorded_sleep.h"
#include "scripted_server.h"
#include "sim/sim_chair.h"
#include "test_access.h"
#include "typing.h"
#include "ui/veltora_motor.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

using Access = Veltora_Motor_TestAccess;

namespace {

const QString idle = QStringLiteral("Veltora Zazurad");
const QString confirm_text = QStringLiteral(
    "Esta operação irá enviar relatórios da cadeira para a Veltora, configurar a nova motorização "
    "e limpar o registro de eventos do drive.");
const QString locked_text =
    QStringLiteral("Versão de Firmware incompatível. Utilize o Veltora Zazurad 2.0!");

std::string item(const StoredReport &report, const std::string &key) {
    const auto found = std::find_if(report.items.begin(), report.items.end(),
                                    [&key](const auto &pair) { return pair.first == key; });
    return found == report.items.end() ? std::string("<missing>") : found->second;
}
QString item(const Posted &report, const QString &key) {
    return QUrlQuery(QUrl::fromEncoded(report.body)).queryItemValue(key, QUrl::FullyDecoded);
}

// Each report's stage and run, the runs numbered from 1 as they appear: "after 1".
QStringList stages_and_runs(const QVector<Posted> &reports) {
    QStringList runs;
    QStringList seen;
    const QRegularExpression header("\nVeltora-Service: id=([0-9a-f-]{36}); stage=([a-z]+); made=");
    for (const Posted &report : reports) {
        const QRegularExpressionMatch found = header.match(report.head);
        if (!runs.contains(found.captured(1)))
            runs << found.captured(1);
        seen << found.captured(2) + ' ' + QString::number(runs.indexOf(found.captured(1)) + 1);
    }
    return seen;
}

// Where the tool keeps the reports the server did not take, under the suite's own home.
QDir kept() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           "/relatorios-pendentes";
}

const Script accepted{{0, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK"}};
const Script refused{{0, "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nNOK"}};

// A fresh window on the default simulated chair, its boxes answered with Ok and its waits recorded.
struct ChairWindow {
    ChairWindow() {
        sim::reset();
        window = std::make_unique<Veltora_Motor>();
        window->show();
    }
    ~ChairWindow() {
        // Before the answerer goes, so the destructor's messages still find it.
        window.reset();
        sim::reset();
    }
    ChairWindow(const ChairWindow &) = delete;
    ChairWindow &operator=(const ChairWindow &) = delete;

    template <typename T> T *widget(const char *name) const {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    QString label(const char *name) const { return widget<QLabel>(name)->text(); }
    void click(const char *name) const { widget<QPushButton>(name)->click(); }
    void connect_chair() const { click("btn_connect"); }
    // Connected: Desconectar offered and the chair's boxes open; disconnected: all the reverse.
    bool looks(bool connected) const {
        return widget<QPushButton>("btn_disconnect")->isVisible() == connected &&
               widget<QPushButton>("btn_connect")->isVisible() != connected &&
               widget<QGroupBox>("box_info")->isEnabled() == connected &&
               widget<QGroupBox>("box_motor")->isEnabled() == connected;
    }

    // Types the customer in as a user would, leaving each field: a private person, who becomes a
    // company when given a CNPJ.
    void fill_customer(const QString &cnpj = {},
                       const QString &cpf = QStringLiteral("529.982.247-25")) const {
        const auto type = [this](const char *name, const QString &text) {
            type_and_enter(widget<QLineEdit>(name), text);
        };
        widget<QRadioButton>("radio_user")->click();
        type("user_name", QStringLiteral("Ana Lima"));
        type("user_email", QStringLiteral("ana+cadeira@loja.com.br"));
        type("user_phone", QStringLiteral("11987654321"));
        type("user_cpf", cpf);
        type("user_cep", QStringLiteral("01001000"));
        if (!cnpj.isEmpty()) {
            widget<QRadioButton>("radio_company")->click();
            type("user_cnpj", cnpj);
        }
    }

    RecordedSleep sleep;
    ModalAnswerer answerer;
    std::unique_ptr<Veltora_Motor> window;
};

} // namespace

enum class Fault {
    no_cable,
    user_cable_only,
    silent,
    foreign_replies,
    failing_writes,
    silent_while_reading,
    pulled_while_reading
};
Q_DECLARE_METATYPE(Fault)
// Where a service stops: first report, write, read-back (a word not kept, a silent drive), clear.
enum class Stop { report, write, kept_word, silent_read_back, clear };
Q_DECLARE_METATYPE(Stop)

// The window against the simulated chair: connecting, disconnecting and the one-button service
// (report, profile, read-back, clear, report again) into the in-process receiver.
class TestChairWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    int databases = 0;

    QString new_database() { return dir.filePath(QStringLiteral("r%1.sqlite3").arg(++databases)); }

private slots:
    void connect_reads_both_devices_and_shows_the_drive() {
        ChairWindow chair;
        ProgressLog progress(*chair.window);
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(), QStringList());
        QCOMPARE(Access::link_state(*chair.window), 2);
        QVERIFY(chair.looks(true));
        QCOMPARE(chair.label("info_serial"), QStringLiteral("VZMD24123456"));
        QCOMPARE(chair.label("info_versions"), QStringLiteral("2.4 / 1.0"));
        QCOMPARE(chair.label("info_motor"), QStringLiteral("KRS"));
        QCOMPARE(chair.widget<QComboBox>("combo_motor")->currentIndex(), 2);
        QCOMPARE(Access::selected_profile(*chair.window), Access::profile(*chair.window, 4));
        QCOMPARE(Access::drive_data(*chair.window).params, sim::params(sim::drive));
        QCOMPARE(Access::panel_data(*chair.window).params, sim::params(sim::panel));
        QCOMPARE(Access::drive_data(*chair.window).events, sim::events(sim::drive));
        QCOMPARE(Access::panel_data(*chair.window).events, sim::events(sim::panel));
        // 100 + 250 ms to open the connection, then 50 ms after each of 52 events and 88
        // parameters.
        QCOMPARE(chair.sleep.total(), 7350u);
        QVector<int> counts;
        for (const int items : {52, 88}) {
            for (int i = 0; i < items; ++i)
                counts.append(i);
            counts.append(0);
        }
        QCOMPARE(progress.values, counts);
        QCOMPARE(progress.maximums, (QVector<int>{0, 100, 52, 100, 88, 100}));
        QCOMPARE(progress.texts, (QStringList{"Conectando ...", idle, "Carregando Eventos ...",
                                              idle, "Carregando Parâmetros ...", idle}));
        QVERIFY(progress.all_on_gui_thread);
    }

    void a_failed_connect_tells_why_and_the_next_press_connects_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("link_state");
        QTest::addColumn<int>("cable");
        const QString cable_failed = "Falha ao estabelecer a conecão com a cadeira!";
        const QString no_answer = "Falha ao estabelecer a conexão com a cadeira!";
        QTest::newRow("user cable") << Fault::user_cable_only << QString() << 2 << 0x8358;
        QTest::newRow("no cable") << Fault::no_cable
                                  << QStringLiteral("Cabo de comunicação USB não encontrado!") << 0
                                  << 0xFFFF;
        QTest::newRow("silent chair") << Fault::silent << no_answer << 1 << 0x8359;
        QTest::newRow("foreign replies") << Fault::foreign_replies << no_answer << 1 << 0x8359;
        QTest::newRow("failing cable") << Fault::failing_writes << cable_failed << 0 << 0x8359;
        // The reading stops part way, the connection open: the next press opens it anew.
        QTest::newRow("silent while reading")
            << Fault::silent_while_reading << QStringLiteral("Falha ao carregar os eventos!") << 2
            << 0x8359;
        QTest::newRow("pulled while reading")
            << Fault::pulled_while_reading << QStringLiteral("Falha ao carregar os parâmetros!")
            << 2 << 0x8359;
    }

    void a_failed_connect_tells_why_and_the_next_press_connects() {
        QFETCH(Fault, fault);
        QFETCH(QString, message);
        QFETCH(int, link_state);
        QFETCH(int, cable);
        ChairWindow chair;
        if (fault == Fault::no_cable || fault == Fault::user_cable_only)
            sim::set_plugged_products(fault == Fault::no_cable ? std::vector<int>{}
                                                               : std::vector<int>{0x8358});
        sim::set_silent(fault == Fault::silent);
        if (fault == Fault::foreign_replies) // byte 2 holds the device's address instead of 0
            sim::corrupt_replies(sim::ReplyFault::wrong_address, 20);
        if (fault == Fault::failing_writes)
            sim::fail_writes(20);
        // Once, at the 31st of the 52 events or the 61st of the 88 parameters: the next press
        // meets a chair without faults.
        const int fault_at = fault == Fault::silent_while_reading   ? 30
                             : fault == Fault::pulled_while_reading ? 60
                                                                    : -1;
        int seen = 0;
        QObject::connect(chair.window.get(), &Veltora_Motor::set_progressbar_value, [&](int done) {
            if (done == fault_at && seen++ == 0)
                fault_at == 30 ? sim::set_silent(true) : sim::unplug_after(0);
        });
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(Access::link_state(*chair.window), link_state);
        QCOMPARE(Access::cable_product_id(*chair.window), cable);
        QVERIFY(chair.looks(message.isEmpty()));
        if (message.isEmpty())
            return;
        QCOMPARE(sim::live_contexts(), fault == Fault::no_cable ? 0 : 1);

        // A cable left open is kept; one that failed is closed before the next search.
        sim::reset();
        chair.connect_chair();
        QCOMPARE(sim::count_calls("ftdi_usb_open") == 0, link_state != 0);
        QCOMPARE(sim::live_contexts(), 1);
        QVERIFY(chair.looks(true));
        QCOMPARE(chair.answerer.texts(), QStringList{message});
    }

    void firmware_too_new_locks_the_service_for_the_rest_of_the_run() {
        ChairWindow chair;
        sim::set_param(sim::drive, 5, 0x0300);
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(), QStringList{locked_text});
        QVERIFY(chair.looks(true));
        QCOMPARE(chair.label("info_versions"), QStringLiteral("3.0 / 1.0"));

        chair.click("btn_disconnect");
        sim::set_param(sim::drive, 5, 0x02FF); // the newest firmware still allowed
        chair.connect_chair();
        QCOMPARE(chair.answerer.texts(), QStringList{locked_text});
        QVERIFY(!chair.widget<QComboBox>("combo_motor")->isEnabled());
        QVERIFY(!chair.widget<QPushButton>("btn_send")->isEnabled());
        QVERIFY(!chair.widget<QGroupBox>("box_user")->isEnabled());
    }

    void disconnecting_and_closing_let_the_chair_go() {
        ChairWindow chair;
        chair.connect_chair();
        ProgressLog progress(*chair.window);
        chair.click("btn_disconnect");
        QCOMPARE(chair.answerer.texts(), QStringList());
        QCOMPARE(Access::link_state(*chair.window), 1);
        QVERIFY(chair.looks(false));
        QCOMPARE(chair.label("info_serial"), QString());
        QCOMPARE(chair.label("info_motor"), QString());
        QCOMPARE(chair.widget<QComboBox>("combo_motor")->currentIndex(), -1);
        QCOMPARE(progress.texts, (QStringList{"Desconectando ...", idle}));
        QVERIFY(!sim::dtr_high());

        // The cable stays open for the next connect, and closing the window lets the chair go.
        sim::clear_record();
        chair.connect_chair();
        QCOMPARE(sim::count_calls("ftdi_usb_open"), 0);
        QVERIFY(chair.looks(true));
        sim::clear_record();
        chair.window.reset();
        QCOMPARE(sim::written_frames().front(),
                 (std::vector<std::uint8_t>{14, 0, 1, 0, 0, 0, 0, 15}));
        QCOMPARE(sim::live_contexts(), 0);
        QVERIFY(!sim::dtr_high());
    }

    // Yesterday a private person whose CPF is off in its last digit, today a company: the CPF kept
    // in the hidden field does not travel in today's reports.
    void a_whole_service_reports_before_and_after_the_change() {
        LocalReceiver receiver(new_database());
        QVERIFY(receiver.ok());
        ChairWindow chair;
        chair.fill_customer({}, QStringLiteral("529.982.247-26"));
        chair.connect_chair();
        chair.click("btn_send");
        chair.fill_customer(QStringLiteral("11222333000181"));
        chair.widget<QComboBox>("combo_motor")->setCurrentIndex(7); // TRV: profile 10
        ProgressLog progress(*chair.window);
        sim::clear_record();
        chair.click("btn_send");

        QCOMPARE(chair.answerer.texts(),
                 (QStringList{"Os dados do usuário devem ser preenchidos corretamente!",
                              confirm_text, "Operação concluída!"}));
        QCOMPARE(progress.texts,
                 (QStringList{"Enviando relatório ...", idle, "Enviando Parâmetros ...", idle,
                              "Conferindo Parâmetros ...", idle, "Limpando Eventos ...", idle,
                              "Enviando relatório ...", idle}));
        QCOMPARE(progress.maximums,
                 (QVector<int>{0, 0, 100, 34, 100, 34, 100, 30, 100, 0, 100, 100}));
        // Every word written is read back before the drive's log is cleared.
        std::vector<std::pair<int, int>> exchanges, sent; // op, index
        for (const int op : {10, 8})
            for (const auto &entry : build_motor_profile(10))
                exchanges.emplace_back(op, entry.first);
        for (const auto &entry : sim::default_events(sim::drive))
            exchanges.emplace_back(6, entry.first);
        for (const auto &frame : sim::written_frames())
            sent.emplace_back(frame[0], frame[1]);
        QCOMPARE(sent, exchanges);
        for (const auto &[index, word] : build_motor_profile(10))
            QCOMPARE(sim::param(sim::drive, index), word.word());
        for (const auto &[index, value] : sim::events(sim::drive))
            QCOMPARE(int(value), 0);
        QCOMPARE(sim::events(sim::panel), sim::default_events(sim::panel));
        QCOMPARE(chair.label("info_motor"), QStringLiteral("TRV"));

        const std::vector<StoredReport> reports = receiver.reports(); // newest first
        QCOMPARE(reports.size(), std::size_t(2));
        const StoredReport &before = reports[1];
        const StoredReport &after = reports[0];
        QCOMPARE(before.items.size(), std::size_t(141));
        QCOMPARE(item(before, "email"), std::string("ana+cadeira@loja.com.br"));
        QCOMPARE(item(before, "telefone"), std::string("(11) 987654321"));
        QCOMPARE(item(before, "cabo_comunicacao"), std::string("Assistencia"));
        QCOMPARE(item(before, "drive_serial"), std::string("VZMD24123456"));
        QCOMPARE(item(before, "drive_motorizacao"), std::string("KRS"));
        QCOMPARE(item(after, "drive_motorizacao"), std::string("TRV"));
        QCOMPARE(item(before, "drive_param_0x0D"), std::string("25"));
        QCOMPARE(item(after, "drive_param_0x0D"), std::string("60"));
        QCOMPARE(item(before, "drive_event_0x01"), std::string("2"));
        QCOMPARE(item(after, "drive_event_0x01"), std::string("0"));
        QCOMPARE(item(after, "painel_event_0x01"), item(before, "painel_event_0x01"));
        for (const StoredReport &report : reports) {
            QCOMPARE(item(report, "cpf"), std::string());
            QCOMPARE(item(report, "cnpj"), std::string("11.222.333/0001-81"));
        }
        QVERIFY(chair.looks(true));
        QVERIFY(chair.widget<QFrame>("main_frame")->isEnabled());
        QCOMPARE(chair.widget<QProgressBar>("progress_bar")->maximum(), 100);
    }

    // Each step runs only when the one before succeeded. Once the drive is changed, a step that
    // stops still ends the run with its "interrupted" report: the drive as the tool knows it, the
    // words it acknowledged and those read back (0x11 here). Reports the server took are not kept.
    void a_failing_step_stops_the_service_data() {
        QTest::addColumn<Stop>("stop");
        QTest::addColumn<QString>("message");
        QTest::newRow("report") << Stop::report << QStringLiteral("Falha ao enviar o relatório!");
        QTest::newRow("write") << Stop::write << QStringLiteral("Falha ao enviar os parâmetros!");
        QTest::newRow("kept word")
            << Stop::kept_word << QStringLiteral("Falha ao conferir os parâmetros gravados!");
        QTest::newRow("silent read-back")
            << Stop::silent_read_back << QStringLiteral("Falha ao carregar os parâmetros!");
        QTest::newRow("clear") << Stop::clear << QStringLiteral("Falha ao limpar os eventos!");
    }

    void a_failing_step_stops_the_service() {
        QFETCH(Stop, stop);
        QFETCH(QString, message);
        // Without a server the connection is refused.
        std::unique_ptr<ScriptedServer> server;
        if (stop != Stop::report)
            server = std::make_unique<ScriptedServer>(accepted);
        ChairWindow chair;
        chair.fill_customer();
        chair.connect_chair();
        chair.widget<QComboBox>("combo_motor")->setCurrentIndex(7); // TRV: 0x11 = 2000
        // The drive keeps 3000 in 0x11; the silent one falls silent once 0x11, the 7th, is read.
        const bool read_back_fails = stop == Stop::kept_word || stop == Stop::silent_read_back;
        if (read_back_fails)
            sim::misstore(sim::drive, 0x11);
        if (stop == Stop::silent_read_back)
            sim::silence_after(34 + 7);
        // Each exchange is four cable calls (DTR, write, echo, reply): the 8th write, after 0x11,
        // or the fifth clear fails.
        if (stop == Stop::write || stop == Stop::clear)
            sim::unplug_after(4 * (stop == Stop::write ? 7 : 34 + 34 + 4));
        chair.click("btn_send");
        QCOMPARE(chair.answerer.texts(), (QStringList{confirm_text, message}));
        QCOMPARE(sim::params(sim::drive) == sim::default_params(sim::drive), stop == Stop::report);
        QCOMPARE(int(sim::event(sim::drive, 1)), stop == Stop::clear ? 0 : 2);
        QCOMPARE(sim::event(sim::drive, 5), sim::default_events(sim::drive).at(5));
        QCOMPARE(stages_and_runs(server ? server->posted : QVector<Posted>()),
                 (server ? QStringList{"before 1", "interrupted 1"} : QStringList()));
        if (server)
            QCOMPARE(item(server->posted.last(), "drive_param_0x11"),
                     read_back_fails ? "3000" : "2000");
        QVERIFY(kept().entryList(QDir::Files).isEmpty());
        QVERIFY(chair.widget<QFrame>("main_frame")->isEnabled());
        // Only a drive gone silent leaves the window to be connected anew.
        QVERIFY(chair.looks(stop != Stop::silent_read_back));
        if (stop == Stop::silent_read_back) {
            sim::set_silent(false);
            chair.connect_chair();
            QVERIFY(chair.looks(true));
        }
        // The window tells what the drive holds, as far as it was read.
        if (read_back_fails)
            QCOMPARE(chair.label("info_motor"), QStringLiteral("TRV"));
    }

    // Chair B refuses what chair A answered: B is shown and reported with 0 there, not A's value.
    void a_second_chair_is_not_taken_for_the_first() {
        LocalReceiver receiver(new_database());
        QVERIFY(receiver.ok());
        ChairWindow chair;
        chair.fill_customer();
        chair.connect_chair(); // KRS
        chair.click("btn_disconnect");
        sim::refuse(sim::drive, 8, 1);
        sim::refuse(sim::drive, 8, 9);
        sim::refuse(sim::panel, 2, 0x21);
        chair.connect_chair();
        QCOMPARE(chair.label("info_motor"), QStringLiteral("KRT Standup"));
        QCOMPARE(chair.label("info_serial"), QStringLiteral("Serial Inválido"));
        chair.click("btn_send");
        const StoredReport before = receiver.reports().at(1);
        QCOMPARE(item(before, "drive_param_0x09"), std::string("0"));
        QCOMPARE(item(before, "drive_motorizacao"), std::string("KRT"));
        QCOMPARE(item(before, "painel_event_0x21"), std::string("0"));
    }

    // No button leaves the connected look with the link down; should it drop all the same,
    // Enviar turns the window back without talking to the chair.
    void a_lost_connection_switches_to_the_disconnected_look() {
        ChairWindow chair;
        chair.fill_customer();
        chair.connect_chair();
        Access::set_link_state(*chair.window, 1);
        sim::clear_record();
        chair.click("btn_send");
        QCOMPARE(chair.answerer.texts(), (QStringList{confirm_text, "Conexão perdida!"}));
        QVERIFY(sim::calls().empty());
        QVERIFY(chair.looks(false));
        QCOMPARE(chair.label("info_serial"), QString());
        QCOMPARE(chair.widget<QComboBox>("combo_motor")->currentIndex(), -1);
    }

    // Não at the confirmation: nothing is reported or sent to the chair, and the window is free.
    void declining_the_confirmation_changes_nothing() {
        ScriptedServer server(accepted);
        ChairWindow chair;
        chair.fill_customer();
        chair.connect_chair();
        // The answerer presses Ok when there is one: without Sim, it presses Não.
        chair.answerer.on_box(
            [](QMessageBox *box) { box->removeButton(box->button(QMessageBox::Ok)); });
        sim::clear_record();
        chair.click("btn_send");
        QCOMPARE(chair.answerer.texts(), QStringList{confirm_text});
        QVERIFY(sim::calls().empty());
        QVERIFY(server.posted.isEmpty());
        QVERIFY(chair.looks(true));
        QVERIFY(chair.widget<QFrame>("main_frame")->isEnabled());
    }

    // A closing report the server did not take waits on disk, readable by its user only, and is
    // posted again before every later report, and in the background at the next start, exactly and
    // oldest first, until the server takes it. Every run has an id of its own.
    void a_changed_chair_s_report_waits_until_the_server_takes_it() {
        QVector<Posted> refusing;
        {
            ScriptedServer server([](const Posted &report) {
                return report.head.contains("; stage=before;") ? accepted : refused;
            });
            ChairWindow chair;
            chair.fill_customer();
            chair.connect_chair();
            chair.click("btn_send");
            chair.click("btn_send");
            QCOMPARE(chair.answerer.texts().count("Falha ao enviar o relatório!"), 2);
            refusing = server.posted;
        }
        QCOMPARE(stages_and_runs(refusing),
                 (QStringList{"before 1", "after 1", "after 1", "before 2", "after 1", "after 2"}));
        for (const QFileInfo &file : kept().entryInfoList(QDir::Files))
            QCOMPARE(file.permissions(),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QFile stranger(kept().filePath("0000000000000000-x.json")); // a "before" is never kept
        QVERIFY(
            stranger.open(QIODevice::WriteOnly) &&
            stranger.write("{\"Veltora-Service\": \"id=0f8fad5b-d9cb-469f-a165-70867728950e; "
                           "stage=before; made=2026-12-07T10:00:00Z\", \"body\": \"http://x/?\"}"));
        stranger.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("x.json is not one the tool wrote: "
                                                              "set aside as .corrupt$"));
        // Next start, the server silent: the window neither waits for it nor lingers on closing.
        QElapsedTimer clock;
        clock.start();
        {
            ScriptedServer silent(Script{});
            ChairWindow chair;
            QTRY_COMPARE(silent.posted.size(), 1);
        }
        QVERIFY(clock.elapsed() < 10000); // the answer's wait is 15 s
        ScriptedServer server(accepted);
        ChairWindow chair;
        QTRY_COMPARE(kept().entryList(QDir::Files), QStringList{"0000000000000000-x.json.corrupt"});
        QCOMPARE(server.posted, (QVector<Posted>{refusing[1], refusing[5]}));
        QVERIFY(kept().removeRecursively());
    }
};

QTEST_MAIN(TestChairWindow)
#include "test_chair_window.moc"
