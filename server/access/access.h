#pragma once

#include "server/access/accounts.h"
#include "server/http/http_server.h"
#include "server/text/failure.h"

#include <string>
#include <vector>

class ReportStore;

// What a route needs of its reader.
enum class Need {
    reading,     // the token, or a user whose one-time password is changed
    admin,       // a user of the role admin, one-time password changed
    own_account, // any live session (to change its password), or the token
};

constexpr const char *session_cookie = "veltora_sessao";

// Sign-in outcomes besides 0 and receiver_failed.
constexpr int sign_in_refused = -2; // wrong name or password, or a disabled account
constexpr int sign_in_waits = -3;   // too many failures: try again after wait_ms

// Every check of who may read, in one place: a request addressed to one of the receiver's own
// names (so a rebound DNS name does not reach it), from no other site, with the machines' token
// or a user's session, whose role the route allows. Holds the token, and reaches the accounts,
// sessions, failed sign-ins and the audit through the store.
class Access {
public:
    // token: "" refuses it. names: the host names the receiver answers to.
    Access(ReportStore &store, std::string token, std::vector<std::string> names);

    // True when the request's Host names this receiver.
    bool own_host(const HttpRequest &request) const;
    // True when the request has no Origin, or the receiver's own (http or https, its own Host).
    bool own_origin(const HttpRequest &request) const;

    // 0 with who asks in reader when the request may do what need says; else receiver_failed
    // with the answer (421, 403, 401 or 500) set in response.
    int check(const HttpRequest &request, HttpResponse &response, Need need, Reader &reader) const;

    // Appends to the audit what reader did for request, its result taken from response's status.
    // When it cannot be recorded, response becomes a 500: nothing is read unrecorded.
    // 0 or receiver_failed.
    int record(const Reader &reader, const HttpRequest &request, const std::string &action,
               const std::string &subject, HttpResponse &response) const;

    // In sign_in.cpp. Signs name in from address: 0 with the new session's cookie value (and
    // reader), sign_in_refused, sign_in_waits with wait_ms, or receiver_failed. Each try is
    // recorded in the audit.
    int sign_in(const std::string &name, const std::string &password, const std::string &address,
                std::string &cookie, Reader &reader, long long &wait_ms) const;
    // Ends the request's session, if any. 0 or receiver_failed.
    int sign_out(const HttpRequest &request) const;
    // Changes reader's password when current is right and fresh is acceptable (10 characters or
    // more, not the current one), ending every session of reader; 0 with a new session's cookie,
    // sign_in_refused, or receiver_failed.
    int change_password(const Reader &reader, const std::string &current, const std::string &fresh,
                        const std::string &address, std::string &cookie) const;

private:
    int who(const HttpRequest &request, HttpResponse &response, Reader &reader) const;

    ReportStore &store_;
    std::string token_;
    std::vector<std::string> names_;
};

// The token in file, which must be a regular file that only its owner can read or write.
// 0, or receiver_failed with error saying why.
int load_token(const std::string &file, std::string &token, std::string &error);
