#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QUuid>

// Which report of a service run: the chair before the change, after it, or as far as a run that
// stopped part way changed it.
enum class ServiceStage { before, after, interrupted };

// The request header that names the run a report belongs to, so the maker pairs both reports of a
// run exactly and stores a report sent twice once. Its value, in this form and order:
//   id=0f8fad5b-d9cb-469f-a165-70867728950e; stage=before; made=2026-12-07T10:00:00Z
// the run's random id in lower-case hexadecimal without braces, the stage (before, after or
// interrupted) and the UTC time the report was built, to the second.
constexpr char service_header_name[] = "Veltora-Service";

QByteArray service_header_value(const QUuid &run, ServiceStage stage, const QDateTime &made);

// True for the value of an "after" or "interrupted" report, the only ones ever kept for resending.
bool is_closing_header_value(const QByteArray &value);
