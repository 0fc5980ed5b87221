#include "server/receiver_options.h"

#include <cstdlib>
#include <string_view>

namespace {

bool parse_port(const std::string &text, int &port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

} // namespace

int parse_receiver_options(int argc, const char *const *argv, ReceiverOptions &options,
                           std::string &error) {
    ReceiverOptions parsed;
    for (int i = 1; i < argc; ++i) {
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
        if (name != "--address" && name != "--port" && name != "--database") {
            error = "unknown option: " + std::string(argv[i]);
            return options_invalid;
        }
        if (!has_value) {
            if (i + 1 >= argc) {
                error = "missing value for " + name;
                return options_invalid;
            }
            value = argv[++i];
        }
        if (name == "--port" && !parse_port(value, parsed.port)) {
            error = "bad port: " + value;
            return options_invalid;
        }
        if ((name == "--address" || name == "--database") && value.empty()) {
            error = "empty value for " + name;
            return options_invalid;
        }
        if (name == "--address")
            parsed.address = value;
        else if (name == "--database")
            parsed.database = value;
    }
    options = parsed;
    return 0;
}

const char *receiver_usage() {
    return "usage: report-receiver [--address A] [--port N] [--database FILE]\n"
           "  --address   address to listen on (default 127.0.0.1)\n"
           "  --port      port to listen on (default 8080)\n"
           "  --database  SQLite file of the reports (default ./reports.sqlite3)\n";
}
