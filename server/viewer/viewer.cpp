#include "server/viewer/viewer.h"

#include "server/store/report_store.h"
#include "server/text/json_text.h"
#include "server/viewer/audit_view.h"
#include "server/viewer/fleet_view.h"
#include "server/viewer/service_export.h"
#include "server/viewer/viewer_assets.h"
#include "server/viewer/viewer_json.h"

#include <cstring>

namespace {

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

} // namespace

Viewer::Viewer(ReportStore &store, const Access &access)
    : history_(store), access_(access), titular_(store) {}

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
    const bool post = path == "/viewer/entrar" || path == "/viewer/sair" ||
                      path == "/viewer/senha" || path == TitularRoutes::erase_path;
    if (request.method != (post ? "POST" : "GET")) {
        response.headers.emplace_back("Allow", post ? "POST" : "GET");
        answer(response, 405, post ? "ERROR: POST only\n" : "ERROR: GET only\n");
        return true;
    }
    if (path == "/" || path == "/viewer")
        viewer_redirect(response, "/viewer/");
    else if (path == "/viewer/entrar")
        sign_in(request, response);
    else if (path == "/viewer/sair")
        sign_out(request, response);
    else if (path == "/viewer/senha")
        change_password(request, response);
    else if (path.rfind("/viewer/api/", 0) == 0)
        api(request, response);
    else if (!serve_asset(path == "/viewer/" ? "index.html" : path.substr(8), response))
        answer(response, 404, "ERROR: not found\n");
    return true;
}

void Viewer::api(const HttpRequest &request, HttpResponse &response) {
    const std::string &path = request.path;
    const bool audit = path == "/viewer/api/auditoria" || path == "/viewer/api/auditoria.csv";
    const bool titular = path.rfind("/viewer/api/titular", 0) == 0;
    const Need need = audit || titular || path == "/viewer/api/usuarios" ? Need::admin
                      : path == "/viewer/api/eu"                         ? Need::own_account
                                                                         : Need::reading;
    Reader reader;
    if (access_.check(request, response, need, reader) != 0)
        return;
    FormItems query;
    if (decode_form(request.query, query) != 0)
        return answer(response, 400, "ERROR: bad percent escape\n");
    if (path == "/viewer/api/eu")
        return json(response, json_text({{"name", reader.name},
                                         {"role", role_name(reader.role)},
                                         {"must_change", reader.must_change}}));
    if (path == "/viewer/api/usuarios")
        return answer_accounts(history_, response);
    // A person's data records itself: never the CPF or e-mail looked for, which an erasure
    // must leave nowhere.
    if (titular)
        return titular_.serve(request, query, reader.name, response);
    // The fleet's figures are counts: no one's personal data, nothing to record.
    if (path.rfind("/viewer/api/fleet", 0) == 0)
        return serve_fleet(history_, path, query, response);
    // What each read is recorded as: a search keeps its query, the rest what they opened.
    std::string action;
    std::string subject;
    if (path == "/viewer/api/chairs") {
        subject = form_value(query, "q");
        action = subject.empty() ? "cadeiras" : "busca";
        list_chairs(query, response);
    } else if (path == "/viewer/api/services") {
        action = "cadeira";
        subject = form_value(query, "serial");
        list_services(query, response);
    } else if (path.rfind("/viewer/api/service", 0) == 0) {
        action = path == "/viewer/api/service" ? "servico" : "download";
        subject = "servico-" + form_value(query, "id") + path.substr(19);
        show_service(path, query, response);
    } else if (audit) {
        action = path == "/viewer/api/auditoria" ? "auditoria" : "download";
        subject = action == "download" ? "auditoria.csv" : form_value(query, "pessoa");
        answer_audit(history_, query, action == "download", response);
    } else {
        return answer(response, 404, "ERROR: not found\n");
    }
    access_.record(reader, request, action, subject, response);
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
