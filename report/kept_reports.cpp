#include "report/kept_reports.h"

#include "report/service_header.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>
#include <QtGlobal>

namespace {

// A file holds {"Veltora-Service": value, "body": encoded URL}, both as posted the first time.
constexpr char body_key[] = "body";

// File names start with the time the report was kept, zero-padded milliseconds, so that name
// order is age order; the random part keeps two reports of one millisecond apart.
QString new_file_name() {
    return QStringLiteral("%1-%2.json")
        .arg(QDateTime::currentMSecsSinceEpoch(), 16, 10, QLatin1Char('0'))
        .arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

// A file is a kept report when it holds a closing report's header: it was written whole, body and
// header together, so anything else is damage or a stranger's file.
bool read_kept_report(const QString &path, ReportPost &report) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject fields = QJsonDocument::fromJson(file.readAll()).object();
    report.service = fields.value(QLatin1String(service_header_name)).toString().toLatin1();
    report.body = fields.value(QLatin1String(body_key)).toString().toLatin1();
    return is_closing_header_value(report.service);
}

void set_aside(const QString &path) {
    const QString aside = path + QStringLiteral(".corrupt");
    const bool renamed = QFile::rename(path, aside);
    qWarning("Kept report %s is not one the tool wrote: %s", qUtf8Printable(path),
             renamed ? "set aside as .corrupt" : "it could not be set aside");
}

} // namespace

QString kept_reports_folder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/relatorios-pendentes");
}

bool keep_report(const QString &folder, const ReportPost &report) {
    if (!QDir().mkpath(folder))
        return false;
    QJsonObject fields;
    fields.insert(QLatin1String(service_header_name), QString::fromLatin1(report.service));
    fields.insert(QLatin1String(body_key), QString::fromLatin1(report.body));
    QSaveFile file(QDir(folder).filePath(new_file_name()));
    // Restricted before anything is written: the report holds the customer's personal data.
    return file.open(QIODevice::WriteOnly) &&
           file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
           file.write(QJsonDocument(fields).toJson(QJsonDocument::Compact)) >= 0 && file.commit();
}

void resend_kept_reports(const QString &folder, const std::atomic<bool> &stop) {
    const QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        if (stop)
            return;
        const QString path = dir.filePath(name);
        ReportPost report;
        if (!read_kept_report(path, report)) {
            set_aside(path);
            continue;
        }
        if (!post_report(report, stop))
            return;
        QFile::remove(path);
    }
}
