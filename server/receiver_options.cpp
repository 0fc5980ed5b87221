#include "server/receiver_options.h"

#include <cstdlib>

namespace {

bool parse_number(const std::string &text, int low, int high, int &number) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < low || value > high)
        return false;
    number = static_cast<int>(value);
    return true;
}

// Stores value into the option called name. False when the value is not acceptable.
bool set_option(ReceiverOptions &options, const std::string &name, const std::string &value) {
    if (name == "--port")
        return parse_number(value, 1, 65535, options.port);
    if (name == "--idle-timeout")
        return parse_number(value, 1, 3600, options.idle_seconds);
    if (name == "--deadline")
        return parse_number(value, 1, 3600, options.deadline_seconds);
    if (name == "--personal-data-days")
        return parse_number(value, 1, 36500, options.personal_data_days);
    if (value.empty())
        return false;
    if (name == "--address")
        options.address = value;
    else if (name == "--database")
        options.database = value;
    else if (name == "--token-file")
        options.token_file = value;
    else if (name == "--name")
        options.names.push_back(value);
    else if (name == "--to")
        options.backup_to = value;
    else
        options.trusted_proxy = value;
    return true;
}

bool known_option(const std::string &name, bool backup) {
    if (backup)
        return name == "--database" || name == "--to";
    for (const char *known :
         {"--address", "--port", "--database", "--token-file", "--name", "--trusted-proxy",
          "--idle-timeout", "--deadline", "--personal-data-days"}) {
        if (name == known)
            return true;
    }
    return false;
}

} // namespace

int parse_receiver_options(int argc, const char *const *argv, ReceiverOptions &options,
                           std::string &error) {
    ReceiverOptions parsed;
    parsed.backup = argc > 1 && std::string(argv[1]) == "backup";
    for (int i = parsed.backup ? 2 : 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool has_value = false;
        const std::size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            has_value = true;
        }
        if (name == "--help" && !has_value) {
            parsed.help = true;
            continue;
        }
        if (!known_option(name, parsed.backup)) {
            error = "unknown option: " + std::string(argv[i]);
            return receiver_failed;
        }
        if (!has_value) {
            if (i + 1 >= argc) {
                error = "missing value for " + name;
                return receiver_failed;
            }
            value = argv[++i];
        }
        if (!set_option(parsed, name, value)) {
            error = "bad value for " + name + ": " + value;
            return receiver_failed;
        }
    }
    if (parsed.backup && parsed.backup_to.empty() && !parsed.help) {
        error = "backup needs --to FILE";
        return receiver_failed;
    }
    options = parsed;
    return 0;
}

const char *receiver_usage() {
    return "usage: report-receiver [options]\n"
           "       report-receiver backup [--database D] --to FILE\n"
           "       report-receiver users add NAME --role admin|leitura [--database D]\n"
           "       report-receiver users list|disable NAME|reset NAME [--database D]\n"
           "  --address A        address to listen on (default 127.0.0.1)\n"
           "  --port N           port to listen on (default 8080)\n"
           "  --database D       SQLite file (default ./reports.sqlite3), or a PostgreSQL\n"
           "                     connection string or URI (postgresql://user@host/db)\n"
           "  --token-file F     file holding the token that reading reports needs (mode 600);\n"
           "                     without it reports can be posted but not read\n"
           "  --name H           host name that reads may be addressed to; may repeat\n"
           "                     (default: the listening address, and localhost on loopback)\n"
           "  --trusted-proxy A  address of the reverse proxy whose X-Forwarded-For is believed\n"
           "  --idle-timeout S   close a connection silent for S seconds (default 10)\n"
           "  --deadline S       a request must arrive whole within S seconds (default 20)\n"
           "  --personal-data-days N\n"
           "                     anonymize the customers' data in reports older than N days,\n"
           "                     at start and then daily (default: kept)\n"
           "backup copies the SQLite database D, while receivers run on it, into the new file\n"
           "FILE (mode 600) and checks the copy's integrity; back PostgreSQL up with pg_dump.\n"
           "users manages the staff who sign in to the viewer, on the receivers' database D:\n"
           "add prints a one-time password, to be changed at the first sign-in; the role\n"
           "leitura reads services, admin also reads the audit. disable ends the user's\n"
           "sessions at once; reset gives a new one-time password (and enables again).\n";
}
