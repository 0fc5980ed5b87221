#include "server/viewer/viewer.h"

#include "server/access/read_access.h"
#include "server/store/report_store.h"
#include "server/viewer/fleet_view.h"
#include "server/viewer/service_export.h"
#include "server/viewer/viewer_assets.h"
#include "server/viewer/viewer_json.h"

#include <cstring>

namespace {

constexpr const char *cookie_name = "veltora_sessao";
constexpr long long largest_page = 500;
constexpr long long no_cursor = 1LL << 62;

// Customer names are anyone's input: the page runs only its own script and cannot be framed.
const char *const page_policy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self';"
    " connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";

void unreadable(HttpResponse &response, std::string cause) {
    answer(response, 500, "ERROR: not readable\n");
    response.cause = std::move(cause);
}

void redirect(HttpResponse &response, const char *location) {
    response.status = 303;
    response.headers.emplace_back("Location", location);
    response.body.clear();
}

void json(HttpResponse &response, std::string body) {
    response.content_type = "application/json; charset=utf-8";
    response.body = std::move(body);
}

const char *content_type_of(const std::string &name) {
    const auto ends = [&name](const char *suffix) {
        const std::size_t size = std::strlen(suffix);
        return name.size() >= size && name.compare(name.size() - size, size, suffix) == 0;
    };
    if (ends(".html"))
        return "text/html; charset=utf-8";
    if (ends(".css"))
        return "text/css; charset=utf-8";
    if (ends(".js"))
        return "text/javascript; charset=utf-8";
    return "application/octet-stream";
}

bool serve_asset(const std::string &name, HttpResponse &response) {
    for (std::size_t i = 0; i < viewer_asset_count; ++i) {
        const ViewerAsset &asset = viewer_assets[i];
        if (name == asset.name) {
            response.content_type = content_type_of(name);
            response.body.assign(reinterpret_cast<const char *>(asset.bytes), asset.size);
            return true;
        }
    }
    return false;
}

// The receiver speaks plain HTTP; when the browser reached it through a TLS proxy its Origin says
// so, and the cookie is then kept off plain connections.
std::string cookie(const HttpRequest &request, const std::string &value, std::time_t seconds) {
    const bool behind_tls = request.header("Origin").rfind("https://", 0) == 0;
    return std::string(cookie_name) + "=" + value + "; Max-Age=" + std::to_string(seconds) +
           "; Path=/; HttpOnly; SameSite=Strict" + (behind_tls ? "; Secure" : "");
}

} // namespace

Viewer::Viewer(ServiceHistory &history, const ReadAccess &access, const std::string &token)
    : history_(history), access_(access), seal_(token) {}

bool Viewer::serve(const HttpRequest &request, HttpResponse &response) {
    const std::string &path = request.path;
    if (path != "/" && path != "/viewer" && path.rfind("/viewer/", 0) != 0)
        return false;
    response.headers.emplace_back("Content-Security-Policy", page_policy);
    response.headers.emplace_back("X-Frame-Options", "DENY");
    response.headers.emplace_back("Referrer-Policy", "same-origin");
    if (!access_.own_host(request)) {
        answer(response, 421, "ERROR: unknown host\n");
        return true;
    }
    const bool post = path == "/viewer/entrar" || path == "/viewer/sair";
    if (request.method != (post ? "POST" : "GET")) {
        response.headers.emplace_back("Allow", post ? "POST" : "GET");
        answer(response, 405, post ? "ERROR: POST only\n" : "ERROR: GET only\n");
        return true;
    }
    if (path == "/" || path == "/viewer")
        redirect(response, "/viewer/");
    else if (path == "/viewer/entrar")
        sign_in(request, response);
    else if (path == "/viewer/sair")
        sign_out(request, response);
    else if (path.rfind("/viewer/api/", 0) == 0)
        api(request, response);
    else if (!serve_asset(path == "/viewer/" ? "index.html" : path.substr(8), response))
        answer(response, 404, "ERROR: not found\n");
    return true;
}

void Viewer::sign_in(const HttpRequest &request, HttpResponse &response) {
    // A form of another site cannot sign anyone in or out: browsers name the form's origin.
    if (request.header("Origin").empty() || !access_.own_origin(request))
        return answer(response, 403, "ERROR: foreign origin\n");
    FormItems form;
    if (!form_content(request.header("Content-Type")) || decode_form(request.body, form) != 0)
        return answer(response, 400, "ERROR: a form is expected\n");
    if (!access_.token_matches(form_value(form, "token")))
        return redirect(response, "/viewer/?recusado");
    const std::string value = seal_.issue(std::time(nullptr));
    if (value.empty()) {
        response.cause = "no session sealed: no random nonce or no key";
        return answer(response, 500, "ERROR: no session could be made\n");
    }
    response.headers.emplace_back("Set-Cookie", cookie(request, value, session_seconds));
    redirect(response, "/viewer/");
}

void Viewer::sign_out(const HttpRequest &request, HttpResponse &response) {
    if (request.header("Origin").empty() || !access_.own_origin(request))
        return answer(response, 403, "ERROR: foreign origin\n");
    response.headers.emplace_back("Set-Cookie", cookie(request, "", 0));
    redirect(response, "/viewer/");
}

int Viewer::allow(const HttpRequest &request, HttpResponse &response) const {
    const std::string session = cookie_named(request.header("Cookie"), cookie_name);
    if (session.empty() || !seal_.valid(session, std::time(nullptr)))
        return access_.check(request, response);
    if (!access_.own_origin(request)) {
        answer(response, 403, "ERROR: foreign origin\n");
        return receiver_failed;
    }
    return 0;
}

void Viewer::api(const HttpRequest &request, HttpResponse &response) {
    if (allow(request, response) != 0)
        return;
    FormItems query;
    if (decode_form(request.query, query) != 0)
        return answer(response, 400, "ERROR: bad percent escape\n");
    if (request.path == "/viewer/api/chairs")
        return list_chairs(query, response);
    if (request.path == "/viewer/api/services")
        return list_services(query, response);
    if (request.path.rfind("/viewer/api/fleet", 0) == 0)
        return serve_fleet(history_, request.path, query, response);
    if (request.path.rfind("/viewer/api/service", 0) == 0)
        return show_service(request.path, query, response);
    answer(response, 404, "ERROR: not found\n");
}

void Viewer::list_chairs(const FormItems &query, HttpResponse &response) {
    ChairPageRequest page;
    long long limit = 0;
    if (!form_number(query, "limit", 1, largest_page, 50, limit) ||
        !form_number(query, "before", 1, no_cursor, 0, page.before))
        return answer(response, 400, "ERROR: limit is 1 to 500, before a cursor\n");
    page.limit = static_cast<int>(limit);
    page.search = form_value(query, "q");
    std::vector<ChairSummary> chairs;
    if (history_.chairs(page, chairs) != 0)
        return unreadable(response, "chairs not read: " + history_.failure());
    json(response, chairs_page_json(chairs, static_cast<long long>(chairs.size()) == limit
                                                ? chairs.back().last_report_id
                                                : 0));
}

void Viewer::list_services(const FormItems &query, HttpResponse &response) {
    ServicePageRequest page;
    long long limit = 0;
    if (!form_number(query, "limit", 1, largest_page, 50, limit) ||
        !form_number(query, "before", 1, no_cursor, 0, page.before))
        return answer(response, 400, "ERROR: limit is 1 to 500, before a cursor\n");
    page.limit = static_cast<int>(limit);
    page.serial = form_value(query, "serial");
    std::vector<ServiceSummary> services;
    if (history_.services(page, services) != 0)
        return unreadable(response, "services not read: " + history_.failure());
    json(response, services_page_json(page.serial, services,
                                      static_cast<long long>(services.size()) == limit
                                          ? services.back().before.id
                                          : 0));
}

void Viewer::show_service(const std::string &path, const FormItems &query, HttpResponse &response) {
    long long id = 0;
    long long offset = 0;
    long long limit = 0;
    if (!form_number(query, "id", 1, no_cursor, 0, id) || id == 0 ||
        !form_number(query, "offset", 0, 1000000, 0, offset) ||
        !form_number(query, "limit", 1, largest_page, 200, limit))
        return answer(response, 400, "ERROR: id is a report, offset from 0, limit 1 to 500\n");
    const bool difference = path == "/viewer/api/service";
    const bool as_json = path == "/viewer/api/service.json";
    if (!difference && !as_json && path != "/viewer/api/service.csv")
        return answer(response, 404, "ERROR: not found\n");
    ServiceRecord service;
    const int found = history_.service(id, service);
    if (found == history_not_found)
        return answer(response, 404, "ERROR: no such report\n");
    if (found != 0)
        return unreadable(response, "service not read: " + history_.failure());
    if (difference) {
        const std::vector<ItemChange> changes =
            service.paired ? service_difference(service.before_items, service.after_items)
                           : std::vector<ItemChange>();
        return json(response, service_json(service, changes, static_cast<std::size_t>(offset),
                                           static_cast<std::size_t>(limit)));
    }
    const std::string name = "servico-" + std::to_string(service.before.id);
    response.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + name +
                                                             (as_json ? ".json\"" : ".csv\""));
    if (as_json)
        return json(response, service_reports_json(service));
    response.content_type = "text/csv; charset=utf-8";
    response.body = service_reports_csv(service);
}
