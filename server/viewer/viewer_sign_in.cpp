#include "server/access/sessions.h"
#include "server/viewer/viewer.h"

namespace {

// The receiver speaks plain HTTP; when the browser reached it through a TLS proxy its Origin says
// so, and the cookie is then kept off plain connections.
std::string cookie(const HttpRequest &request, const std::string &value, std::time_t seconds) {
    const bool behind_tls = request.header("Origin").rfind("https://", 0) == 0;
    return std::string(session_cookie) + "=" + value + "; Max-Age=" + std::to_string(seconds) +
           "; Path=/; HttpOnly; SameSite=Strict" + (behind_tls ? "; Secure" : "");
}

void failed(HttpResponse &response, const char *what) {
    response.cause = what;
    answer(response, 500, "ERROR: not signed in\n");
}

// A form of another site cannot sign anyone in or out, nor change a password: browsers name the
// form's origin. False, with the answer set, when the request is not such a form of our own.
bool own_form(const Access &access, const HttpRequest &request, HttpResponse &response,
              FormItems &form) {
    if (request.header("Origin").empty() || !access.own_origin(request)) {
        answer(response, 403, "ERROR: foreign origin\n");
        return false;
    }
    if (!form_content(request.header("Content-Type")) || decode_form(request.body, form) != 0) {
        answer(response, 400, "ERROR: a form is expected\n");
        return false;
    }
    return true;
}

} // namespace

void viewer_redirect(HttpResponse &response, const std::string &location) {
    response.status = 303;
    response.headers.emplace_back("Location", location);
    response.body.clear();
}

void Viewer::sign_in(const HttpRequest &request, HttpResponse &response) {
    FormItems form;
    if (!own_form(access_, request, response, form))
        return;
    std::string value;
    Reader reader;
    long long wait_ms = 0;
    const int signed_in = access_.sign_in(form_value(form, "usuario"), form_value(form, "senha"),
                                          request.client, value, reader, wait_ms);
    if (signed_in == sign_in_waits) {
        const std::string seconds = std::to_string((wait_ms + 999) / 1000);
        response.headers.emplace_back("Retry-After", seconds);
        return viewer_redirect(response, "/viewer/?aguarde=" + seconds);
    }
    if (signed_in == sign_in_refused)
        return viewer_redirect(response, "/viewer/?recusado");
    if (signed_in != 0)
        return failed(response, "sign-in not recorded");
    response.headers.emplace_back("Set-Cookie", cookie(request, value, session_seconds));
    viewer_redirect(response, reader.must_change ? "/viewer/?trocar" : "/viewer/");
}

void Viewer::sign_out(const HttpRequest &request, HttpResponse &response) {
    FormItems form;
    if (!own_form(access_, request, response, form))
        return;
    if (access_.sign_out(request) != 0)
        return failed(response, "session not ended");
    response.headers.emplace_back("Set-Cookie", cookie(request, "", 0));
    viewer_redirect(response, "/viewer/");
}

void Viewer::change_password(const HttpRequest &request, HttpResponse &response) {
    FormItems form;
    Reader reader;
    if (!own_form(access_, request, response, form) ||
        access_.check(request, response, Need::own_account, reader) != 0)
        return;
    std::string value;
    const int changed = access_.change_password(reader, form_value(form, "atual"),
                                                form_value(form, "nova"), request.client, value);
    if (changed == sign_in_refused)
        return viewer_redirect(response, "/viewer/?trocar&recusada");
    if (changed != 0)
        return failed(response, "password not changed");
    response.headers.emplace_back("Set-Cookie", cookie(request, value, session_seconds));
    viewer_redirect(response, "/viewer/");
}
