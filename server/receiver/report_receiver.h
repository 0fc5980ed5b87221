#pragma once

#include "server/http/http_server.h"
#include "server/text/failure.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class ReportStore;

struct ReceiverSettings {
    std::string token;              // reads need it as a bearer token; "" refuses every read
    std::vector<std::string> names; // the host names reads may be addressed to
    std::string trusted_proxy;      // the proxy whose X-Forwarded-For is believed; "" for none
    HttpLimits limits;
    std::FILE *access_log = nullptr; // one line per request; nullptr for none
    std::FILE *error_log = nullptr;  // each 5xx answer's cause; nullptr for none
};

// The HTTP face of the report store. POST /connect/lorvask.php stores a service report sent as
// the tool sends it and answers "OK" once it is durably committed; GET /reports lists the stored
// reports as JSON, newest first, a page at a time, to holders of the token.
class ReportReceiver {
public:
    ReportReceiver(ReportStore &store, ReceiverSettings settings);
    ~ReportReceiver();
    ReportReceiver(const ReportReceiver &) = delete;
    ReportReceiver &operator=(const ReportReceiver &) = delete;

    // Listens on address and port (0: a free one) and serves. The port, or receiver_failed.
    int start(const std::string &address, int port);

    // Closes every connection and stops serving.
    void stop();

    bool running() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
