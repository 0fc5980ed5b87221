#include "server/viewer/audit_view.h"

#include "server/access/accounts.h"
#include "server/store/report_store.h"
#include "server/text/json_text.h"
#include "server/viewer/csv_cell.h"

namespace {

constexpr long long audit_page = 100;
constexpr long long audit_file = 100000;

bool day(const std::string &text) {
    return text.empty() || (text.size() == 10 && text[4] == '-' && text[7] == '-' &&
                            text.find_first_not_of("0123456789-") == std::string::npos);
}

void unreadable(ReportStore &store, const char *what, HttpResponse &response) {
    response.cause = std::string(what) + " not read: " + store.failure();
    answer(response, 500, "ERROR: not readable\n");
}

std::string audit_csv(const std::vector<AuditRecord> &records) {
    std::string out = "quando,quem,endereco,acao,sobre,resultado\r\n";
    for (const AuditRecord &record : records) {
        const AuditEntry &entry = record.entry;
        for (const std::string *cell :
             {&record.at, &entry.who, &entry.address, &entry.action, &entry.subject, &entry.result})
            out += csv_cell(*cell) + (cell == &entry.result ? "\r\n" : ",");
    }
    return out;
}

std::string audit_json(const std::vector<AuditRecord> &records, long long limit) {
    nlohmann::json entries = nlohmann::json::array();
    for (const AuditRecord &record : records) {
        const AuditEntry &entry = record.entry;
        entries.push_back({{"id", record.id},
                           {"at", record.at},
                           {"who", entry.who},
                           {"address", entry.address},
                           {"action", entry.action},
                           {"subject", entry.subject},
                           {"result", entry.result}});
    }
    nlohmann::json page = {{"entries", entries}, {"next", nullptr}};
    if (static_cast<long long>(records.size()) == limit)
        page["next"] = records.back().id;
    return json_text(page);
}

} // namespace

void answer_audit(ReportStore &store, const FormItems &query, bool csv, HttpResponse &response) {
    AuditFilter filter;
    filter.subject = form_value(query, "pessoa");
    filter.who = form_value(query, "usuario");
    filter.from = form_value(query, "desde");
    filter.to = form_value(query, "ate");
    filter.limit = csv ? audit_file : audit_page;
    if (!form_number(query, "antes", 1, 1LL << 62, 0, filter.before) || !day(filter.from) ||
        !day(filter.to))
        return answer(response, 400, "ERROR: desde and ate are YYYY-MM-DD, antes an entry\n");
    std::vector<AuditRecord> records;
    if (store.keep([&](SqlConnection &connection) {
            return read_audit(connection, filter, records);
        }) != 0)
        return unreadable(store, "audit", response);
    if (!csv) {
        response.content_type = "application/json; charset=utf-8";
        response.body = audit_json(records, filter.limit);
        return;
    }
    response.content_type = "text/csv; charset=utf-8";
    response.headers.emplace_back("Content-Disposition", "attachment; filename=\"auditoria.csv\"");
    response.body = audit_csv(records);
}

void answer_accounts(ReportStore &store, HttpResponse &response) {
    std::vector<Account> accounts;
    if (store.keep(
            [&](SqlConnection &connection) { return list_accounts(connection, accounts); }) != 0)
        return unreadable(store, "accounts", response);
    nlohmann::json users = nlohmann::json::array();
    for (const Account &account : accounts)
        users.push_back({{"name", account.name},
                         {"role", role_name(account.role)},
                         {"active", !account.disabled},
                         {"must_change", account.must_change},
                         {"created", account.created}});
    response.content_type = "application/json; charset=utf-8";
    response.body = json_text({{"users", users}});
}
