#include "server/access/read_access.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cctype>
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

// Compares in time that depends on the lengths only, so the token cannot be guessed byte by byte.
bool same_secret(const std::string &given, const std::string &expected) {
    return given.size() == expected.size() &&
           CRYPTO_memcmp(given.data(), expected.data(), given.size()) == 0;
}

} // namespace

ReadAccess::ReadAccess(std::string token, std::vector<std::string> names)
    : token_(std::move(token)) {
    for (const std::string &name : names)
        names_.push_back(host_name(name));
}

bool ReadAccess::own_host(const HttpRequest &request) const {
    const std::string name = host_name(request.header("Host"));
    return !name.empty() && std::find(names_.begin(), names_.end(), name) != names_.end();
}

bool ReadAccess::own_origin(const HttpRequest &request) const {
    const std::string origin = lower(request.header("Origin"));
    if (origin.empty())
        return true;
    const std::string host = lower(request.header("Host"));
    return own_host(request) && (origin == "http://" + host || origin == "https://" + host);
}

bool ReadAccess::token_matches(const std::string &given) const {
    return !token_.empty() && same_secret(given, token_);
}

int ReadAccess::check(const HttpRequest &request, HttpResponse &response) const {
    if (!own_host(request)) {
        answer(response, 421, "ERROR: unknown host\n");
        return receiver_failed;
    }
    if (!own_origin(request)) {
        answer(response, 403, "ERROR: foreign origin\n");
        return receiver_failed;
    }
    const std::string authorization = request.header("Authorization");
    const std::string scheme = "Bearer ";
    if (authorization.compare(0, scheme.size(), scheme) != 0 ||
        !token_matches(authorization.substr(scheme.size()))) {
        answer(response, 401, "ERROR: a valid token is needed\n");
        response.headers.emplace_back("WWW-Authenticate", "Bearer");
        return receiver_failed;
    }
    return 0;
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
