#pragma once

#include "report/report_items.h"

#include <QByteArray>
#include <QUrl>

// The report endpoint on host: "https://host[:port]" is reached over TLS, a bare "host[:port]" over
// plain HTTP.
QUrl report_endpoint_at(const QString &host);

// The maker's report endpoint, on the host configured at build time.
QUrl report_endpoint();

// The items as an application/x-www-form-urlencoded query: every key and value UTF-8
// percent-encoded except the unreserved characters, so that '+', '&', '=', '%' and '#' reach any
// form decoder unchanged. The leading empty item makes the text begin with "=&".
QByteArray encode_report_query(const ReportItems &items);

// The endpoint carrying the items as its query.
QUrl report_url(const ReportItems &items);
