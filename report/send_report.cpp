#include "customer/customer_mode.h"
#include "report/report_items.h"
#include "report/report_request.h"
#include "report/report_wait.h"
#include "ui/veltora_motor.h"
#include "ui/window_texts.h"
#include "ui_veltora_motor.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

// The server accepts a report by answering "OK" (any letter case) and nothing else; the text
// ends at the first zero byte.
bool answer_accepts(const QByteArray &answer) {
    const int zero = answer.indexOf('\0');
    const QString text = QString::fromUtf8(zero < 0 ? answer : answer.left(zero));
    return text.compare(QLatin1String("OK"), Qt::CaseInsensitive) == 0;
}

} // namespace

int Veltora_Motor::send_report() {
    emit set_progressbar_text(QString::fromUtf8(window_texts::sending_report));
    emit set_progressbar_maximum(0);
    run_on_gui_thread([this] { ui->main_frame->setEnabled(false); });

    // Only the chosen kind's taxpayer number is sent: the other is whatever an earlier customer
    // left in its hidden field.
    const bool company = is_company(customer_type);
    const ReportCustomer customer{customer_name,
                                  customer_email,
                                  customer_phone,
                                  customer_cep,
                                  company ? QString() : customer_cpf,
                                  company ? customer_cnpj : QString()};
    const QUrl url =
        report_url(build_report_items(customer, cable_product_id, *panel_data, *drive_data));
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    const QByteArray body = url.toEncoded(QUrl::RemoveFragment);

    // Created here, without parents, so they belong to this pool thread and its local loop.
    auto *manager = new QNetworkAccessManager;
    auto *loop = new QEventLoop;
    auto *timer = new QTimer;
    timer->setSingleShot(true);
    // A coarse timer may end the wait up to 5 % early or late: an answer within it must count.
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(report_answer_wait_ms());

    QNetworkReply *reply = manager->post(request, body);
    // The answer is judged whole: waiting only for its first piece would reject an "OK" that
    // happens to arrive in two.
    const QMetaObject::Connection done_quits =
        QObject::connect(reply, &QNetworkReply::finished, loop, &QEventLoop::quit);
    const QMetaObject::Connection done_stops =
        QObject::connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
    const QMetaObject::Connection timeout_quits =
        QObject::connect(timer, &QTimer::timeout, loop, &QEventLoop::quit);
    timer->start();
    loop->exec();

    if (timer->isActive())
        timer->stop();
    QObject::disconnect(done_quits);
    QObject::disconnect(done_stops);
    QObject::disconnect(timeout_quits);

    const bool accepted = reply->isFinished() && reply->error() == QNetworkReply::NoError &&
                          answer_accepts(reply->readAll());
    const int result = accepted ? 0 : -8;
    if (!accepted)
        show_message(QStringLiteral("Falha ao enviar o relatório!"));

    delete reply;
    delete timer;
    delete loop;
    delete manager;

    reset_progress();
    return result;
}
