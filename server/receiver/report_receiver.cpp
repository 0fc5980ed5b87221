#include "server/receiver/report_receiver.h"

#include "server/access/access.h"
#include "server/metrics/exposition.h"
#include "server/receiver/health_check.h"
#include "server/receiver/receiver_metrics.h"
#include "server/store/report_keys.h"
#include "server/store/report_store.h"
#include "server/text/form_decoding.h"
#include "server/text/service_header.h"
#include "server/text/utc_time.h"
#include "server/text/utf8_text.h"
#include "server/viewer/report_listing.h"
#include "server/viewer/viewer.h"

#include <chrono>

namespace {

constexpr const char *report_path = "/connect/lorvask.php";
constexpr int largest_page = 100; // a page of whole reports stays a few hundred KiB

// False, with the answer 405 set, when the request's method is not method.
bool method_is(const char *method, const HttpRequest &request, HttpResponse &response) {
    if (request.method == method)
        return true;
    response.headers.emplace_back("Allow", method);
    response.status = 405;
    response.body = std::string("ERROR: ") + method + " only\n";
    return false;
}

} // namespace

struct ReportReceiver::Impl {
    ReportStore &store;
    Access access;
    Viewer viewer;
    ReceiverMetrics metrics;
    HttpServer server;

    Impl(ReportStore &s, ReceiverSettings settings)
        : store(s), access(s, settings.token, settings.names), viewer(s, access),
          server(
              settings.limits, [this](const HttpRequest &q, HttpResponse &a) { route(q, a); },
              settings.trusted_proxy, settings.access_log, settings.error_log) {}

    void route(const HttpRequest &request, HttpResponse &response);
    void receive_report(const HttpRequest &request, HttpResponse &response);
    void list_reports(const HttpRequest &request, HttpResponse &response);
};

void ReportReceiver::Impl::route(const HttpRequest &request, HttpResponse &response) {
    if (request.path == report_path) {
        if (method_is("POST", request, response))
            receive_report(request, response);
        return;
    }
    if (request.path == "/health") {
        if (method_is("GET", request, response))
            answer_health(store, response);
        return;
    }
    if (request.path == "/reports" || request.path == "/metrics") {
        Reader reader;
        if (!method_is("GET", request, response) ||
            access.check(request, response, Need::reading, reader) != 0)
            return;
        if (request.path == "/reports") {
            list_reports(request, response);
            access.record(reader, request, "relatorios", "", response);
            return;
        }
        response.content_type = exposition_type;
        response.body = metrics.page(server.counters(), store.statistics());
        return;
    }
    if (viewer.serve(request, response))
        return;
    answer(response, 404, "ERROR: not found\n");
}

void ReportReceiver::Impl::receive_report(const HttpRequest &request, HttpResponse &response) {
    // Posting needs no credential, but a page of another site may not post through a browser.
    if (!access.own_origin(request))
        return answer(response, 403, "ERROR: foreign origin\n");
    if (!form_content(request.header("Content-Type")))
        return answer(response, 400, "ERROR: a form is expected\n");
    FormItems items;
    if (decode_form(request.query, items) != 0)
        return answer(response, 400, "ERROR: bad percent escape\n");
    if (!is_service_report(items))
        return answer(response, 400, "ERROR: not a service report\n");
    ServiceTag tag;
    if (parse_service_header(request.header("Veltora-Service"), tag) != 0)
        return answer(response, 400, "ERROR: bad Veltora-Service header\n");
    // The tool sends UTF-8; stray bytes from elsewhere are stored as U+FFFD, as the listing would
    // show them anyway, since a PostgreSQL text holds neither malformed UTF-8 nor NUL.
    for (FormItem &item : items)
        item.second = utf8_text(item.second);
    const std::string received = utc_iso8601(std::chrono::system_clock::now());
    // A report its run sent before, whose answer was lost, is answered as the first was.
    const long long id = store.add(received, request.client, tag, items);
    if (id < 0) {
        response.cause = "report not stored: " + store.failure();
        return answer(response, 500, "ERROR: not stored\n");
    }
    if (id != report_already_stored)
        metrics.stored(request.arrived);
    answer(response, 200, "OK");
}

void ReportReceiver::Impl::list_reports(const HttpRequest &request, HttpResponse &response) {
    FormItems query;
    long long limit = 0;
    long long before = 0;
    if (decode_form(request.query, query) != 0 ||
        !form_number(query, "limit", 1, largest_page, 50, limit) ||
        !form_number(query, "before", 1, (1LL << 62), 0, before))
        return answer(response, 400, "ERROR: limit is 1 to 100, before a report id\n");
    std::vector<StoredReport> reports;
    if (store.page({before, static_cast<int>(limit)}, reports) != 0) {
        response.cause = "reports not read: " + store.failure();
        return answer(response, 500, "ERROR: not readable\n");
    }
    const long long next = static_cast<long long>(reports.size()) == limit ? reports.back().id : 0;
    response.content_type = "application/json; charset=utf-8";
    response.body = reports_page_json(reports, next);
}

ReportReceiver::ReportReceiver(ReportStore &store, ReceiverSettings settings)
    : impl_(std::make_unique<Impl>(store, std::move(settings))) {}

ReportReceiver::~ReportReceiver() {
    stop();
}

int ReportReceiver::start(const std::string &address, int port) {
    const int bound = impl_->server.start(address, port);
    return bound < 0 ? receiver_failed : bound;
}

void ReportReceiver::stop() {
    impl_->server.stop();
}

bool ReportReceiver::running() const {
    return impl_->server.running();
}
