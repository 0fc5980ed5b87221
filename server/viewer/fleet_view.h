#pragma once

#include "server/http/http_server.h"
#include "server/text/form_decoding.h"

#include <string>

class ServiceHistory;

// The fleet page's API, for a reader the viewer has let in: /viewer/api/fleet answers the
// figures as JSON, /viewer/api/fleet/TABLE.csv one table of them for download. The query chooses
// the services: "de" and "ate", the period's first and last months (YYYY-MM), and "firmware".
void serve_fleet(ServiceHistory &history, const std::string &path, const FormItems &query,
                 HttpResponse &response);
