#pragma once

#include "server/text/failure.h"

#include <string>
#include <vector>

struct ReceiverOptions {
    bool backup = false;   // report-receiver backup: copy the database to backup_to, and end
    std::string backup_to; // the copy's file
    std::string address = "127.0.0.1";
    int port = 8080;
    std::string database = "reports.sqlite3";
    std::string token_file;
    std::vector<std::string> names;
    std::string trusted_proxy;
    int idle_seconds = 10;
    int deadline_seconds = 20;
    int personal_data_days = 0; // anonymize reports older than this; 0: keep them as they are
    bool help = false;
};

// Reads the options of receiver_usage() (each also as --name=value; --name may repeat), or those
// of the backup command when the first argument is "backup".
// 0, or receiver_failed with error describing the first bad argument.
int parse_receiver_options(int argc, const char *const *argv, ReceiverOptions &options,
                           std::string &error);

const char *receiver_usage();
