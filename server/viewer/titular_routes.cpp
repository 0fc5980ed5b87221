#include "server/viewer/titular_routes.h"

#include "server/store/personal_data.h"
#include "server/text/json_text.h"
#include "server/text/utc_time.h"

namespace {

const char *const shown_items[] = {"drive_serial", "nome", "email", "telefone",
                                   "cep",          "cpf",  "cnpj"};

void json(HttpResponse &response, const nlohmann::json &value) {
    response.content_type = "application/json; charset=utf-8";
    response.body = json_text(value);
}

nlohmann::json found_json(const std::vector<StoredReport> &reports) {
    nlohmann::json shown = nlohmann::json::array();
    for (const StoredReport &report : reports) {
        nlohmann::json one = {
            {"id", report.id}, {"received", report.received}, {"client", report.client}};
        for (const char *key : shown_items)
            one[key == std::string("drive_serial") ? "serial" : key] =
                form_value(report.items, key);
        shown.push_back(std::move(one));
    }
    return {{"count", reports.size()}, {"reports", std::move(shown)}};
}

// Everything the receiver holds of the person: each report that names them, whole.
nlohmann::json export_json(const std::string &query, const std::vector<StoredReport> &reports) {
    nlohmann::json all = nlohmann::json::array();
    for (const StoredReport &report : reports) {
        nlohmann::json items = nlohmann::json::array();
        for (const auto &[key, value] : report.items)
            items.push_back({key, value});
        all.push_back({{"id", report.id},
                       {"received", report.received},
                       {"client", report.client},
                       {"items", std::move(items)}});
    }
    return {{"query", query},
            {"exported", utc_iso8601(std::chrono::system_clock::now())},
            {"reports", std::move(all)}};
}

} // namespace

void TitularRoutes::serve(const HttpRequest &request, const FormItems &query,
                          const std::string &who, HttpResponse &response) {
    if (request.path == erase_path)
        return erase(request, who, response);
    const bool download = request.path == "/viewer/api/titular.json";
    if (!download && request.path != "/viewer/api/titular")
        return answer(response, 404, "ERROR: not found\n");
    const std::string key = personal_key(form_value(query, "q"));
    if (key.empty())
        return answer(response, 400, "ERROR: q is a CPF, a CNPJ or an e-mail\n");
    std::vector<StoredReport> reports;
    if (store_.keep([&](SqlConnection &c) { return find_personal(c, key, reports); }) != 0) {
        response.cause = "personal data not read: " + store_.failure();
        return answer(response, 500, "ERROR: not readable\n");
    }
    std::string ids;
    for (const StoredReport &report : reports)
        ids += (ids.empty() ? "" : ",") + std::to_string(report.id);
    if (store_.record({who, request.client, download ? "exportacao" : "titular", ids,
                       std::to_string(reports.size())}) != 0) {
        response.cause = "personal data read not recorded: " + store_.failure();
        return answer(response, 500, "ERROR: not recorded\n");
    }
    if (!download)
        return json(response, found_json(reports));
    response.headers.emplace_back("Content-Disposition", "attachment; filename=\"titular.json\"");
    json(response, export_json(form_value(query, "q"), reports));
}

void TitularRoutes::erase(const HttpRequest &request, const std::string &who,
                          HttpResponse &response) {
    // The viewer refused any other site's Origin; a browser names the origin of every form, so a
    // request without one came from no page of ours.
    if (request.header("Origin").empty())
        return answer(response, 403, "ERROR: foreign origin\n");
    FormItems form;
    long long confirmed = 0;
    if (!form_content(request.header("Content-Type")) || decode_form(request.body, form) != 0 ||
        !form_number(form, "count", 1, 1LL << 40, 0, confirmed) || confirmed == 0)
        return answer(response, 400, "ERROR: a form of q and count (1 or more) is expected\n");
    const std::string key = personal_key(form_value(form, "q"));
    if (key.empty())
        return answer(response, 400, "ERROR: q is a CPF, a CNPJ or an e-mail\n");
    const AuditEntry entry{who, request.client, "anonimizacao", "", ""};
    long long count = 0;
    const int result = store_.keep([&](SqlConnection &c) {
        count = anonymize_person(c, key, confirmed, entry);
        return count < 0 ? static_cast<int>(count) : 0;
    });
    if (result == personal_count_changed)
        return answer(response, 409, "ERROR: the reports are no longer as many as confirmed\n");
    if (result != 0) {
        response.cause = "personal data not anonymized: " + store_.failure();
        return answer(response, 500, "ERROR: not anonymized\n");
    }
    json(response, {{"anonymized", count}});
}
