#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

class ReportStore;

// Keeps the customers' personal data for a number of days: anonymizes that of the reports older
// than that, once at start and then every day, on a thread of its own, until destroyed. A sweep
// that fails writes why to the error log, and the next day's takes what it left.
class PersonalDataRetention {
public:
    PersonalDataRetention(ReportStore &store, int days, std::FILE *error_log);
    ~PersonalDataRetention();
    PersonalDataRetention(const PersonalDataRetention &) = delete;
    PersonalDataRetention &operator=(const PersonalDataRetention &) = delete;

private:
    void sweep();

    ReportStore &store_;
    const std::chrono::hours kept_;
    std::FILE *error_log_;
    std::mutex mutex_;
    std::condition_variable woken_;
    bool stopping_ = false;
    std::thread thread_;
};
