#pragma once

#include "server/http/http_server.h"
#include "server/text/failure.h"

#include <string>
#include <vector>

// Who may read the stored reports: a request addressed to one of the receiver's own names (so a
// rebound DNS name does not reach it), from no other site, with the receiver's token.
class ReadAccess {
public:
    // token: "" refuses every read. names: the host names the receiver answers to.
    ReadAccess(std::string token, std::vector<std::string> names);

    // True when the request's Host names this receiver.
    bool own_host(const HttpRequest &request) const;
    // True when the request has no Origin, or the receiver's own (http or https, its own Host).
    bool own_origin(const HttpRequest &request) const;
    // True when given is the receiver's token.
    bool token_matches(const std::string &given) const;
    // 0 when the request may read; else receiver_failed with the answer set in response.
    int check(const HttpRequest &request, HttpResponse &response) const;

private:
    std::string token_;
    std::vector<std::string> names_;
};

// The token in file, which must be a regular file that only its owner can read or write.
// 0, or receiver_failed with error saying why.
int load_token(const std::string &file, std::string &token, std::string &error);
