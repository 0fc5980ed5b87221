#pragma once

#include "server/store/fleet.h"
#include "server/text/form_decoding.h"

#include <string>
#include <vector>

constexpr int history_not_found = -4;

// A chair as its latest report shows it.
struct ChairSummary {
    std::string serial;
    long long last_report_id = 0; // the cursor of the listing
    long long services = 0;
    std::string last_service; // when its latest report arrived
    std::string customer;
    std::string taxpayer;
    std::string motorization;
};

// One page of chairs, the latest serviced first: those whose latest report has an id below
// `before` (0: from the latest), at most `limit`. A search keeps the chairs with any report whose
// serial or taxpayer number starts with it, or whose customer's name holds it with a word
// starting as it does.
struct ChairPageRequest {
    std::string search;
    long long before = 0;
    int limit = 50;
};

struct ReportHead {
    long long id = 0;
    std::string received;
    std::string client;
    std::string customer;
    std::string taxpayer;
    std::string motorization;
    long long drive_events = 0;
    std::string stage; // in the run the report names; "" when it names none
    std::string made;  // when the tool made it, as it says; "" when it names no run
};

// A service: the report a run sent before changing the chair and, when the run completed, the
// one it sent after clearing the drive's events (or, for a run that names itself, when it
// stopped). A run's closing report stored alone stands in before's place, its stage saying so.
struct ServiceSummary {
    ReportHead before;
    bool paired = false;
    ReportHead after;
};

// One page of a chair's services, newest first: those whose first report has an id below
// `before` (0: from the newest), at most `limit`.
struct ServicePageRequest {
    std::string serial;
    long long before = 0;
    int limit = 50;
};

// A service with every item of its reports, in the order they were sent.
struct ServiceRecord {
    std::string serial;
    ReportHead before;
    FormItems before_items;
    bool paired = false;
    ReportHead after;
    FormItems after_items;
};

// The stored reports seen as chairs and their services. Safe from several threads at once.
class ServiceHistory {
public:
    ServiceHistory() = default;
    virtual ~ServiceHistory() = default;
    ServiceHistory(const ServiceHistory &) = delete;
    ServiceHistory &operator=(const ServiceHistory &) = delete;
    ServiceHistory(ServiceHistory &&) = delete;
    ServiceHistory &operator=(ServiceHistory &&) = delete;

    // Each: 0 or store_read_failed (of report_store.h).
    virtual int chairs(const ChairPageRequest &request, std::vector<ChairSummary> &chairs) = 0;
    // No services for an unknown serial.
    virtual int services(const ServicePageRequest &request,
                         std::vector<ServiceSummary> &services) = 0;
    // The service that report id belongs to, or history_not_found.
    virtual int service(long long id, ServiceRecord &service) = 0;
    // The fleet's figures for the request.
    virtual int fleet(const FleetRequest &request, FleetFigures &figures) = 0;
    // The database's own message for the last call on this thread that failed, for the log.
    virtual std::string failure() const = 0;
};
