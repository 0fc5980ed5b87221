#include "report/report_post.h"

#include "report/report_wait.h"
#include "report/service_header.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslError>
#include <QStringList>
#include <QTimer>
#include <QUrl>

namespace {

// How often a waiting post looks whether it is to be given up.
constexpr int abandon_poll_ms = 50;

// The server accepts a report by answering "OK" (any letter case) and nothing else; the text
// ends at the first zero byte.
bool answer_accepts(const QByteArray &answer) {
    const int zero = answer.indexOf('\0');
    const QString text = QString::fromUtf8(zero < 0 ? answer : answer.left(zero));
    return text.compare(QLatin1String("OK"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool post_report(const ReportPost &report, const std::atomic<bool> &abandon) {
    QNetworkRequest request(QUrl::fromEncoded(report.body, QUrl::StrictMode));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader(service_header_name, report.service);

    // Created here, without parents, so they belong to this thread and its local loop.
    auto *manager = new QNetworkAccessManager;
    auto *loop = new QEventLoop;
    auto *timer = new QTimer;
    timer->setSingleShot(true);
    // A coarse timer may end the wait up to 5 % early or late: an answer within it must count.
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(report_answer_wait_ms());
    auto *poll = new QTimer;
    poll->setInterval(abandon_poll_ms);

    QNetworkReply *reply = manager->post(request, report.body);
    // A certificate that does not verify ends the post unsent; the window only says the send
    // failed, so why goes to standard error.
    QObject::connect(reply, &QNetworkReply::sslErrors, [](const QList<QSslError> &errors) {
        QStringList texts;
        for (const QSslError &error : errors)
            texts.append(error.errorString());
        qWarning("Report server's certificate refused: %s", qUtf8Printable(texts.join("; ")));
    });
    // The answer is judged whole: waiting only for its first piece would reject an "OK" that
    // happens to arrive in two.
    const QMetaObject::Connection done_quits =
        QObject::connect(reply, &QNetworkReply::finished, loop, &QEventLoop::quit);
    const QMetaObject::Connection done_stops =
        QObject::connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
    const QMetaObject::Connection timeout_quits =
        QObject::connect(timer, &QTimer::timeout, loop, &QEventLoop::quit);
    QObject::connect(poll, &QTimer::timeout, loop, [loop, &abandon] {
        if (abandon)
            loop->quit();
    });
    timer->start();
    poll->start();
    if (!abandon)
        loop->exec();

    if (timer->isActive())
        timer->stop();
    QObject::disconnect(done_quits);
    QObject::disconnect(done_stops);
    QObject::disconnect(timeout_quits);

    const bool accepted = reply->isFinished() && reply->error() == QNetworkReply::NoError &&
                          answer_accepts(reply->readAll());
    delete reply;
    delete poll;
    delete timer;
    delete loop;
    delete manager;
    return accepted;
}
