// A whole service, played on the real window against the simulated chair and the local report
// receiver, on a display or offscreen on machines without one: fills the customer form, connects,
// picks a motorization, runs the service, prints every step and what the receiver stored, and saves
// a screenshot. Exits 0 only when the whole service succeeded.
#include "app/modal_answerer.h"
#include "report/report_request.h"
#include "ui/veltora_motor.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <map>

namespace {

void say(const QString &text) {
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

template <typename T> T *find(Veltora_Motor &window, const char *name) {
    return window.findChild<T *>(QString::fromLatin1(name));
}

void type_into(Veltora_Motor &window, const char *name, const QString &text) {
    auto *edit = find<QLineEdit>(window, name);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
    const bool rejected = edit->styleSheet().contains(QLatin1String("255, 0, 0"));
    say(QStringLiteral("  %1: \"%2\"%3")
            .arg(QLatin1String(name), edit->text(),
                 rejected ? QStringLiteral(" (rejected)") : QString()));
}

// The newest two reports the receiver holds, newest first, read with the receiver's token.
QJsonArray stored_reports(const QString &token_file) {
    QFile file(token_file);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QUrl url = report_endpoint();
    url.setPath(QStringLiteral("/reports"));
    url.setQuery(QStringLiteral("limit=2"));
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Bearer " + file.readAll().trimmed());
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
    QJsonArray reports = QJsonDocument::fromJson(reply->readAll())
                             .object()
                             .value(QStringLiteral("reports"))
                             .toArray();
    delete reply;
    return reports;
}

std::map<QString, QString> items_of(const QJsonObject &report) {
    std::map<QString, QString> items;
    const QJsonArray pairs = report.value(QStringLiteral("items")).toArray();
    for (const QJsonValue &item : pairs)
        items[item.toArray().at(0).toString()] = item.toArray().at(1).toString();
    return items;
}

// What the service changed, as the maker's server sees it: the two reports side by side.
bool print_stored(const QJsonArray &reports) {
    say(QStringLiteral("Receiver holds %1 report(s).").arg(reports.size()));
    if (reports.size() < 2)
        return false;
    const QJsonObject after = reports.at(0).toObject();
    const QJsonObject before = reports.at(1).toObject();
    for (const QJsonObject &report : {before, after})
        say(QStringLiteral("  report %1 received %2 from %3: %4 items")
                .arg(report.value(QStringLiteral("id")).toInt())
                .arg(report.value(QStringLiteral("received")).toString(),
                     report.value(QStringLiteral("client")).toString())
                .arg(report.value(QStringLiteral("items")).toArray().size()));
    const auto old_items = items_of(before);
    const auto new_items = items_of(after);
    for (const char *name : {"nome", "email", "telefone", "cpf", "cep", "cabo_comunicacao",
                             "drive_serial", "drive_versao_fw"}) {
        const QString key = QString::fromLatin1(name);
        say(QStringLiteral("  %1 = %2")
                .arg(key, new_items.count(key) != 0 ? new_items.at(key) : ""));
    }
    say(QStringLiteral("  changed by the service:"));
    for (const auto &[key, value] : new_items) {
        const auto old = old_items.find(key);
        if (old != old_items.end() && old->second != value)
            say(QStringLiteral("    %1: %2 -> %3").arg(key, old->second, value));
    }
    return before.value(QStringLiteral("items")).toArray().size() == 141 &&
           after.value(QStringLiteral("items")).toArray().size() == 141;
}

int walk(const QString &screenshot, const QString &token_file) {
    Veltora_Motor window;
    window.show();
    QStringList messages;
    ModalAnswerer answerer;
    answerer.on_box([&messages](QMessageBox *box) {
        messages << box->text();
        say(QStringLiteral("  message: \"%1\"%2")
                .arg(box->text(),
                     box->informativeText().isEmpty()
                         ? QString()
                         : QStringLiteral(" \"%1\" -> Sim").arg(box->informativeText())));
    });
    QObject::connect(&window, &Veltora_Motor::set_progressbar_text, &window,
                     [](const QString &text) { say(QStringLiteral("  progress: %1").arg(text)); });
    QElapsedTimer clock;
    clock.start();

    say(QStringLiteral("1. Customer form"));
    type_into(window, "user_name", QStringLiteral("Ana Lima"));
    type_into(window, "user_email", QStringLiteral("ana+cadeira@loja.com.br"));
    type_into(window, "user_phone", QStringLiteral("11987654321"));
    type_into(window, "user_cpf", QStringLiteral("52998224725"));
    type_into(window, "user_cep", QStringLiteral("01001000"));

    say(QStringLiteral("2. Connect (simulated chair)"));
    find<QPushButton>(window, "btn_connect")->click();
    say(QStringLiteral("  drive: serial %1, firmware / hardware %2, motorization %3")
            .arg(find<QLabel>(window, "info_serial")->text(),
                 find<QLabel>(window, "info_versions")->text(),
                 find<QLabel>(window, "info_motor")->text()));
    if (!find<QPushButton>(window, "btn_disconnect")->isVisible()) {
        say(QStringLiteral("Connect failed."));
        return 1;
    }

    auto *motors = find<QComboBox>(window, "combo_motor");
    motors->setCurrentIndex(motors->findText(QStringLiteral("Dorvalis")));
    say(QStringLiteral("3. Motorization chosen: %1").arg(motors->currentText()));

    say(QStringLiteral("4. Service (Enviar)"));
    messages.clear();
    find<QPushButton>(window, "btn_send")->click();
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    const bool done = messages.endsWith(QStringLiteral("Operação concluída!"));
    say(QStringLiteral("  drive now: motorization %1")
            .arg(find<QLabel>(window, "info_motor")->text()));
    // Connect 100 + 250 ms, 52 events and 88 parameters read, 34 written and read back, 30
    // cleared: 50 ms each.
    say(QStringLiteral(
            "Time: %1 s for connect and service, against %2 s of the protocol's mandated "
            "waits")
            .arg(seconds, 0, 'f', 2)
            .arg(12.25, 0, 'f', 2));

    say(QStringLiteral("5. What the receiver stored"));
    const bool stored = print_stored(stored_reports(token_file));

    if (!screenshot.isEmpty()) {
        // What the display itself holds of the window, not a fresh rendering of its widgets, once
        // the last changes have reached it.
        QTest::qWait(200);
        const bool saved = window.screen()->grabWindow(window.winId()).save(screenshot);
        say(QStringLiteral("6. Screenshot: %1%2").arg(screenshot, saved ? "" : " (not saved)"));
    }
    const bool succeeded = done && stored;
    say(succeeded ? QStringLiteral("The whole service succeeded.")
                  : QStringLiteral("The service did not succeed."));
    return succeeded ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const auto option = [&arguments](const char *name) {
        const int at = arguments.indexOf(QLatin1String(name));
        return at > 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
    };
    return walk(option("--screenshot"), option("--token-file"));
}
