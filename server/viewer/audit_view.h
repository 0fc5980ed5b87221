#pragma once

#include "server/http/http_server.h"
#include "server/text/form_decoding.h"

class ReportStore;

// The admins' view of the staff's records: the audit, filtered by the person it concerns (its
// subject), the user and the days, as JSON pages or one CSV file; and the accounts.

// GET /viewer/api/auditoria?pessoa=&usuario=&desde=YYYY-MM-DD&ate=YYYY-MM-DD&antes=ID:
// {"entries":[{"id","at","who","address","action","subject","result"}],"next"}, 100 a page; as
// CSV (auditoria.csv) the newest 100,000 at once.
void answer_audit(ReportStore &store, const FormItems &query, bool csv, HttpResponse &response);

// GET /viewer/api/usuarios: {"users":[{"name","role","active","must_change","created"}]}.
void answer_accounts(ReportStore &store, HttpResponse &response);
