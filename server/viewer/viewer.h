#pragma once

#include "server/access/session.h"
#include "server/http/http_server.h"
#include "server/text/form_decoding.h"
#include "server/viewer/titular_routes.h"

#include <string>

class ReadAccess;
class ReportStore;
class ServiceHistory;

// The maker's view of the stored reports: a page (/viewer/) that lists the chairs, a chair's
// services and what a service changed, the JSON API under it (/viewer/api/), and the sign-in with
// the receiver's token that the page needs, and a person's data on request (titular_routes.h). The
// API also takes the token as a bearer token.
class Viewer {
public:
    Viewer(ReportStore &store, const ReadAccess &access, const std::string &token);

    // True when the request is the viewer's; its answer is then in response.
    bool serve(const HttpRequest &request, HttpResponse &response);

private:
    void sign_in(const HttpRequest &request, HttpResponse &response);
    void sign_out(const HttpRequest &request, HttpResponse &response);
    int allow(const HttpRequest &request, HttpResponse &response) const;
    void api(const HttpRequest &request, HttpResponse &response);
    void list_chairs(const FormItems &query, HttpResponse &response);
    void list_services(const FormItems &query, HttpResponse &response);
    void show_service(const std::string &path, const FormItems &query, HttpResponse &response);

    ServiceHistory &history_;
    const ReadAccess &access_;
    SessionSeal seal_;
    TitularRoutes titular_;
};
