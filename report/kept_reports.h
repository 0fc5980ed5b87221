#pragma once

#include "report/report_post.h"

#include <QString>

#include <atomic>

// Reports of a chair the tool changed ("after" or "interrupted") that the server did not
// acknowledge wait in a folder of their own, one file each, until the server answers "OK".

// The folder, under the user's application data folder; resolved on the GUI thread, since it
// follows the application's identity, which that thread sets.
QString kept_reports_folder();

// Writes the report as a new file of folder, atomically and readable by the user only. False
// when it could not be written.
bool keep_report(const QString &folder, const ReportPost &report);

// Posts the kept reports, oldest first, deleting each one the server accepts. Stops at the first
// one it does not, so that they reach the server in order and a server that is down costs one
// wait, or when stop is set. A file that is not a kept report is renamed to *.corrupt and logged.
void resend_kept_reports(const QString &folder, const std::atomic<bool> &stop);
