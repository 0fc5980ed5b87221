#pragma once

#include "server/http/http_server.h"

class ReportStore;

// GET /health, for a load balancer: 200 when the store answers a trivial query within a second,
// else 503 with the cause for the error log. It needs no credential, tells nothing about the
// reports, and stays out of the access log.
void answer_health(ReportStore &store, HttpResponse &response);
