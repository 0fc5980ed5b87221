#include "server/receiver_options.h"
#include "server/report_receiver.h"
#include "server/report_store.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <pthread.h>

namespace {

// Waits for SIGINT or SIGTERM (true), or for the server to end on its own (false).
bool wait_for_stop(const sigset_t &stop_signals, const ReportReceiver &receiver) {
    const timespec poll{1, 0};
    while (receiver.running()) {
        if (sigtimedwait(&stop_signals, nullptr, &poll) > 0)
            return true;
    }
    return false;
}

int run(int argc, char **argv) {
    ReceiverOptions options;
    std::string error;
    if (parse_receiver_options(argc, argv, options, error) != 0) {
        std::fprintf(stderr, "report-receiver: %s\n%s", error.c_str(), receiver_usage());
        return 2;
    }
    if (options.help) {
        std::fputs(receiver_usage(), stdout);
        return 0;
    }

    // Blocked before any thread exists, so every thread inherits the mask and only
    // wait_for_stop takes them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
        std::fprintf(stderr, "report-receiver: cannot ignore SIGPIPE\n");
        return 1;
    }

    ReportStore store;
    if (store.open(options.database) != 0) {
        std::fprintf(stderr, "report-receiver: cannot open %s\n", options.database.c_str());
        return 1;
    }
    ReportReceiver receiver(store);
    if (receiver.bind(options.address, options.port) < 0) {
        std::fprintf(stderr, "report-receiver: cannot listen on %s:%d\n", options.address.c_str(),
                     options.port);
        return 1;
    }
    if (receiver.start() != 0) {
        std::fprintf(stderr, "report-receiver: cannot serve\n");
        return 1;
    }
    std::fprintf(stderr, "report-receiver: listening on %s:%d, reports in %s\n",
                 options.address.c_str(), options.port, options.database.c_str());
    const bool signalled = wait_for_stop(stop_signals, receiver);
    receiver.stop();
    if (!signalled)
        std::fprintf(stderr, "report-receiver: stopped serving unexpectedly\n");
    return signalled ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "report-receiver: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "report-receiver: unexpected failure\n");
    }
    return 1;
}
