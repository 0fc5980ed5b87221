#include "report/report_request.h"

QUrl report_endpoint_at(const QString &host) {
    const bool tls = host.startsWith(QLatin1String("https://"));
    return QUrl((tls ? host : "http://" + host) + "/connect/lorvask.php", QUrl::TolerantMode);
}

QUrl report_endpoint() {
    return report_endpoint_at(QStringLiteral(REPORT_HOST));
}

QByteArray encode_report_query(const ReportItems &items) {
    QByteArray query;
    for (int i = 0; i < items.size(); ++i) {
        if (i > 0)
            query.append('&');
        query.append(QUrl::toPercentEncoding(items[i].first));
        query.append('=');
        query.append(QUrl::toPercentEncoding(items[i].second));
    }
    return query;
}

QUrl report_url(const ReportItems &items) {
    QUrl url = report_endpoint();
    url.setQuery(QString::fromLatin1(encode_report_query(items)), QUrl::StrictMode);
    return url;
}
