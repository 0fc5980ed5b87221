#pragma once

#include "server/http/http_server.h"
#include "server/text/form_decoding.h"

#include <string>

class ReportStore;

// A person's data on request, under /viewer/api/titular, for the admins the viewer lets in, each
// act recorded in the audit under who did it, without the CPF, CNPJ or e-mail looked for:
//   GET  titular?q=         the reports holding the CPF, CNPJ or e-mail q, with their personal
//                           items: {"count","reports":[{"id","received","client","serial","nome",
//                           "email","telefone","cep","cpf","cnpj"}]}
//   GET  titular.json?q=    the same reports whole, as one file to download
//   POST titular/anonimizar anonymizes them; a form of q and count, the number of reports the
//                           person confirmed: refused (409) when they are no longer as many.
class TitularRoutes {
public:
    explicit TitularRoutes(ReportStore &store) : store_(store) {}

    static constexpr const char *erase_path = "/viewer/api/titular/anonimizar";

    // Answers a request whose path starts with /viewer/api/titular, once the viewer let who in;
    // query: its URL's query, decoded.
    void serve(const HttpRequest &request, const FormItems &query, const std::string &who,
               HttpResponse &response);

private:
    void erase(const HttpRequest &request, const std::string &who, HttpResponse &response);

    ReportStore &store_;
};
