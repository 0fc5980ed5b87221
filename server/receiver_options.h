#pragma once

#include <string>

struct ReceiverOptions {
    std::string address = "127.0.0.1";
    int port = 8080;
    std::string database = "reports.sqlite3";
    bool help = false;
};

constexpr int options_invalid = -1;

// Reads --address A, --port N, --database FILE (each also as --name=value) and --help.
// 0, or options_invalid with error describing the first bad argument.
int parse_receiver_options(int argc, const char *const *argv, ReceiverOptions &options,
                           std::string &error);

const char *receiver_usage();
