#include "server/access/access.h"
#include "server/receiver/personal_data_retention.h"
#include "server/receiver/report_receiver.h"
#include "server/receiver_options.h"
#include "server/store/report_store.h"
#include "server/store/sqlite/sqlite_backup.h"
#include "server/users_command.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// The names reads may be addressed to when none are given: the address listened on, and
// localhost when that is a loopback address.
std::vector<std::string> default_names(const std::string &address) {
    std::vector<std::string> names{address};
    if (address.rfind("127.", 0) == 0 || address == "::1")
        names.emplace_back("localhost");
    return names;
}

// Many slow clients each hold a descriptor: allow as many as the hard limit lets us. The number
// of descriptors.
rlim_t raise_descriptor_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return RLIM_INFINITY;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur;
}

int fail(const std::string &message) {
    std::fprintf(stderr, "report-receiver: %s\n", message.c_str());
    return 1;
}

int backup(const ReceiverOptions &options) {
    if (names_postgresql(options.database))
        return fail("a PostgreSQL database is backed up with pg_dump, or the whole server with "
                    "pg_basebackup (see the README)");
    std::string error;
    return backup_sqlite(options.database, options.backup_to, error) == 0 ? 0 : fail(error);
}

int run(int argc, char **argv) {
    // Reports hold personal data: every file this process creates is its owner's alone.
    umask(077);
    if (argc > 1 && std::string(argv[1]) == "users")
        return users_command(argc, argv);
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
    if (options.backup)
        return backup(options);

    ReceiverSettings settings;
    if (!options.token_file.empty() && load_token(options.token_file, settings.token, error) != 0)
        return fail("--token-file: " + error);
    settings.names = options.names.empty() ? default_names(options.address) : options.names;
    settings.trusted_proxy = options.trusted_proxy;
    // Behind a proxy every connection comes from the proxy's address.
    settings.limits.per_address = options.trusted_proxy.empty() ? HttpLimits().per_address : 0;
    settings.limits.idle_seconds = static_cast<unsigned>(options.idle_seconds);
    settings.limits.deadline_seconds = static_cast<unsigned>(options.deadline_seconds);
    settings.access_log = stdout;
    settings.error_log = stderr;
    // Some descriptors stay for the database, the listening socket and the server's threads.
    const rlim_t files = raise_descriptor_limit();
    if (files < settings.limits.connections + 64u)
        settings.limits.connections = files > 80 ? static_cast<unsigned>(files - 64) : 16;

    // Blocked before any thread exists, so every thread inherits the mask and only the wait
    // below takes them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR)
        return fail("cannot ignore SIGPIPE");

    std::unique_ptr<ReportStore> store;
    if (open_report_store(options.database, store, error) != 0)
        return fail("--database: " + error);
    ReportReceiver receiver(*store, settings);
    if (receiver.start(options.address, options.port) < 0)
        return fail("--address, --port: cannot listen on " + options.address + ":" +
                    std::to_string(options.port));
    std::fprintf(stderr, "report-receiver: listening on %s:%d%s\n", options.address.c_str(),
                 options.port, settings.token.empty() ? ", reading disabled (no token file)" : "");
    std::unique_ptr<PersonalDataRetention> retention;
    if (options.personal_data_days > 0)
        retention =
            std::make_unique<PersonalDataRetention>(*store, options.personal_data_days, stderr);
    while (sigwaitinfo(&stop_signals, nullptr) < 0) {
    }
    receiver.stop();
    return 0;
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
