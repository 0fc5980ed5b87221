#pragma once

#include "report/report_items.h"

#include <QByteArray>
#include <QUrl>

// The maker's report endpoint: http://<host configured at build time>/connect/lorvask.php.
QUrl report_endpoint();

// The items as an application/x-www-form-urlencoded query: every key and value UTF-8
// percent-encoded except the unreserved characters, so that '+', '&', '=', '%' and '#' reach any
// form decoder unchanged. The leading empty item makes the text begin with "=&".
QByteArray encode_report_query(const ReportItems &items);

// The endpoint carrying the items as its query.
QUrl report_url(const ReportItems &items);
