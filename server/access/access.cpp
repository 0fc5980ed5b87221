#include "server/access/access.h"

#include "server/access/sessions.h"
#include "server/store/report_store.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

constexpr std::size_t shortest_token = 16;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The host of a Host header: "name", "name:port", "[v6]" or "[v6]:port".
std::string host_name(const std::string &host) {
    if (!host.empty() && host[0] == '[') {
        const std::size_t close = host.find(']');
        return close == std::string::npos ? std::string() : lower(host.substr(1, close - 1));
    }
    return lower(host.substr(0, host.find(':')));
}

// A name reads may be addressed to, as the operator gives it: a host, with or without its port,
// and a bare IPv6 address, whose colons are its own, as it stands.
std::string given_name(const std::string &name) {
    return std::count(name.begin(), name.end(), ':') > 1 && name[0] != '[' ? lower(name)
                                                                           : host_name(name);
}

// Compares in time that depends on the lengths only, so the token cannot be guessed byte by byte.
bool same_secret(const std::string &given, const std::string &expected) {
    return given.size() == expected.size() &&
           CRYPTO_memcmp(given.data(), expected.data(), given.size()) == 0;
}

} // namespace

Access::Access(ReportStore &store, std::string token, std::vector<std::string> names)
    : store_(store), token_(std::move(token)) {
    for (const std::string &name : names)
        names_.push_back(given_name(name));
}

bool Access::own_host(const HttpRequest &request) const {
    const std::string name = host_name(request.header("Host"));
    return !name.empty() && std::find(names_.begin(), names_.end(), name) != names_.end();
}

bool Access::own_origin(const HttpRequest &request) const {
    const std::string origin = lower(request.header("Origin"));
    if (origin.empty())
        return true;
    const std::string host = lower(request.header("Host"));
    return own_host(request) && (origin == "http://" + host || origin == "https://" + host);
}

// The session of the request's cookie, else its bearer token.
int Access::who(const HttpRequest &request, HttpResponse &response, Reader &reader) const {
    const std::string cookie = cookie_named(request.header("Cookie"), session_cookie);
    int found = session_missing;
    if (!cookie.empty())
        found = store_.keep([&](SqlConnection &connection) {
            return session_reader(connection, cookie, std::time(nullptr), reader);
        });
    if (found == 0)
        return 0;
    if (found != session_missing) {
        response.cause = "session not read: " + store_.failure();
        answer(response, 500, "ERROR: not readable\n");
        return receiver_failed;
    }
    const std::string authorization = request.header("Authorization");
    const std::string scheme = "Bearer ";
    if (authorization.compare(0, scheme.size(), scheme) == 0 && !token_.empty() &&
        same_secret(authorization.substr(scheme.size()), token_)) {
        reader = Reader{"token", Role::machine, false};
        return 0;
    }
    answer(response, 401, "ERROR: a valid token or session is needed\n");
    response.headers.emplace_back("WWW-Authenticate", "Bearer");
    return receiver_failed;
}

int Access::check(const HttpRequest &request, HttpResponse &response, Need need,
                  Reader &reader) const {
    if (!own_host(request)) {
        answer(response, 421, "ERROR: unknown host\n");
        return receiver_failed;
    }
    if (!own_origin(request)) {
        answer(response, 403, "ERROR: foreign origin\n");
        return receiver_failed;
    }
    if (who(request, response, reader) != 0)
        return receiver_failed;
    if (need != Need::own_account && reader.must_change) {
        answer(response, 403, "ERROR: the one-time password must be changed first\n");
        return receiver_failed;
    }
    if (need == Need::admin && !reader.admin()) {
        answer(response, 403, "ERROR: for the role admin only\n");
        return receiver_failed;
    }
    return 0;
}

int Access::record(const Reader &reader, const HttpRequest &request, const std::string &action,
                   const std::string &subject, HttpResponse &response) const {
    const std::string result = response.status / 100 == 2 ? "ok" : std::to_string(response.status);
    if (store_.record({reader.name, request.client, action, subject, result}) == 0)
        return 0;
    response.cause = "access not recorded in the audit: " + store_.failure();
    answer(response, 500, "ERROR: not recorded\n");
    response.headers.erase(
        std::remove_if(response.headers.begin(), response.headers.end(),
                       [](const auto &header) { return header.first == "Content-Disposition"; }),
        response.headers.end());
    return receiver_failed;
}

int load_token(const std::string &file, std::string &token, std::string &error) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "cannot read the token file " + file;
        return receiver_failed;
    }
    if ((status.st_mode & 077) != 0) {
        error = "the token file " + file + " must be readable by its owner only (chmod 600)";
        return receiver_failed;
    }
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    std::string read = text.str();
    while (!read.empty() && std::isspace(static_cast<unsigned char>(read.back())))
        read.pop_back();
    if (!in || read.size() < shortest_token || read.find_first_of(" \t\r\n") != std::string::npos) {
        error = "the token in " + file + " must be one word of at least 16 characters";
        return receiver_failed;
    }
    token = read;
    return 0;
}
