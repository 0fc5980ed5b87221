#pragma once

#include <string>
#include <vector>

// The fleet at a glance, for the services in a period of months (empty: unbounded) done on one
// drive firmware (empty: any), as the service found the drive. A service is a run as the
// pairing groups reports, dated by its first report's arrival (UTC).
struct FleetRequest {
    std::string from_month; // "2026-01"
    std::string to_month;
    std::string firmware;
    std::string last_month; // where the services per month end: 24 months up to it
};

constexpr int fleet_months = 24;

// Chairs with a service in the request, and those services, by one of the chair's current
// traits: its motorization or its drive firmware as its latest report shows them.
struct FleetGroup {
    std::string name;
    long long chairs = 0;
    long long services = 0;
};

struct FleetMonth {
    std::string month;
    long long services = 0;
};

// An event counter over the services of one motorization whose first report was read before the
// drive's log was cleared (a run's closing report stored alone is not): how many services read
// it, how many found it above 0, and its counts added up.
struct FleetCounter {
    std::string motorization;
    std::string code; // the report's key: "drive_event_0x01", "painel_event_0x21"
    long long services = 0;
    long long above_zero = 0;
    long long total = 0;
};

struct FleetFigures {
    std::vector<FleetGroup> by_motorization; // by name
    std::vector<FleetGroup> by_firmware;     // by name
    std::vector<FleetMonth> months;          // oldest first, every month of the window
    std::vector<FleetCounter> counters;      // by motorization, then code
    std::vector<std::string> firmwares;      // every firmware serviced, whatever the request
};

// The month count months after month ("2026-01" and -1 give "2025-12").
std::string month_after(const std::string &month, int count);
