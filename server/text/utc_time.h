#pragma once

#include <chrono>
#include <string>

// time as UTC in ISO-8601 with milliseconds, e.g. "2024-05-01T12:34:56.789Z".
std::string utc_iso8601(std::chrono::system_clock::time_point time);

constexpr long long utc_unreadable = -1;

// Milliseconds since 1970 of a time written by utc_iso8601, or utc_unreadable.
long long utc_milliseconds(const std::string &text);

// Milliseconds since 1970 of an RFC 3339 time in UTC ("Z"), with or without a fraction of a
// second (up to nanoseconds), or utc_unreadable: anything else, or a date that does not exist.
long long rfc3339_utc_milliseconds(const std::string &text);
