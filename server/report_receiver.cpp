#include "server/report_receiver.h"

#include "server/form_decoding.h"
#include "server/report_listing.h"
#include "server/report_store.h"
#include "server/utc_time.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr const char *report_path = "/connect/lorvask.php";
// The body repeats the URL; a full report is about 8 KB at most (the request line itself is
// bounded by the HTTP library at 8 KB).
constexpr std::size_t max_payload = std::size_t{64} * 1024;

void answer(httplib::Response &res, int status, const char *text) {
    res.status = status;
    res.set_content(text, "text/plain");
}

void receive_report(ReportStore &store, const httplib::Request &req, httplib::Response &res) {
    // The library's own parameter map loses the order and the leading empty item, so the raw
    // target is decoded here.
    std::string_view query;
    if (!target_query(req.target, query))
        return answer(res, 400, "ERROR: no query\n");
    FormItems items;
    if (decode_form(query, items) != 0)
        return answer(res, 400, "ERROR: bad percent escape\n");
    if (items.empty())
        return answer(res, 400, "ERROR: no items\n");
    const std::string received = utc_iso8601(std::chrono::system_clock::now());
    if (store.add(received, req.remote_addr, items) < 0)
        return answer(res, 500, "ERROR: not stored\n");
    answer(res, 200, "OK");
}

void list_reports(ReportStore &store, httplib::Response &res) {
    std::vector<StoredReport> reports;
    if (store.list(reports) != 0)
        return answer(res, 500, "ERROR: not readable\n");
    res.status = 200;
    res.set_content(reports_json(reports), "application/json; charset=utf-8");
}

} // namespace

struct ReportReceiver::Impl {
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> thread_done{false};
};

ReportReceiver::ReportReceiver(ReportStore &store) : impl_(std::make_unique<Impl>()) {
    httplib::Server &server = impl_->server;
    server.set_payload_max_length(max_payload);
    // Headers and body leave in separate writes; without this each answer waits for the
    // client's delayed acknowledgement.
    server.set_tcp_nodelay(true);
    server.Post(report_path, [&store](const httplib::Request &req, httplib::Response &res) {
        receive_report(store, req, res);
    });
    server.Get("/reports", [&store](const httplib::Request &, httplib::Response &res) {
        list_reports(store, res);
    });
    server.set_exception_handler(
        [](const httplib::Request &, httplib::Response &res, const std::exception_ptr &) {
            answer(res, 500, "ERROR: internal\n");
        });
}

ReportReceiver::~ReportReceiver() {
    stop();
}

int ReportReceiver::bind(const std::string &address, int port) {
    if (port == 0) {
        const int bound = impl_->server.bind_to_any_port(address);
        return bound > 0 ? bound : receiver_bind_failed;
    }
    return impl_->server.bind_to_port(address, port) ? port : receiver_bind_failed;
}

int ReportReceiver::start() {
    if (impl_->thread.joinable())
        return receiver_serve_failed;
    impl_->thread_done = false;
    try {
        impl_->thread = std::thread([this] {
            impl_->server.listen_after_bind();
            impl_->thread_done = true;
        });
    } catch (...) {
        return receiver_serve_failed;
    }
    // A stop() before the server listens would be lost; wait for it to listen.
    while (!impl_->server.is_running() && !impl_->thread_done)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return impl_->server.is_running() ? 0 : receiver_serve_failed;
}

void ReportReceiver::stop() {
    impl_->server.stop();
    if (impl_->thread.joinable() && impl_->thread.get_id() != std::this_thread::get_id())
        impl_->thread.join();
}

bool ReportReceiver::running() const {
    return impl_->server.is_running();
}
