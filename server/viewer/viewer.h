#pragma once

#include "server/access/access.h"
#include "server/http/http_server.h"
#include "server/text/form_decoding.h"
#include "server/viewer/titular_routes.h"

#include <string>

class ReportStore;

// The maker's view of the stored reports: a page (/viewer/) that lists the chairs, a chair's
// services and what a service changed, for admins a person's data on request (titular_routes.h)
// and the audit; the JSON API under it (/viewer/api/), and the staff's sign-in, sign-out and
// change of password. The API also takes the machines' token as a bearer token. Every read of
// personal data is recorded in the audit.
class Viewer {
public:
    Viewer(ReportStore &store, const Access &access);

    // True when the request is the viewer's; its answer is then in response.
    bool serve(const HttpRequest &request, HttpResponse &response);

private:
    // In viewer_sign_in.cpp.
    void sign_in(const HttpRequest &request, HttpResponse &response);
    void sign_out(const HttpRequest &request, HttpResponse &response);
    void change_password(const HttpRequest &request, HttpResponse &response);
    void api(const HttpRequest &request, HttpResponse &response);
    void list_chairs(const FormItems &query, HttpResponse &response);
    void list_services(const FormItems &query, HttpResponse &response);
    void show_service(const std::string &path, const FormItems &query, HttpResponse &response);

    ReportStore &history_;
    const Access &access_;
    TitularRoutes titular_;
};

// Sets response to a 303 to location: where a form posted to the viewer leads.
void viewer_redirect(HttpResponse &response, const std::string &location);
