#pragma once

#include <cstdint>

struct ftdi_context;

// What the device's refusal (status 0xEE) means to one exchange.
enum class RefusalMeaning {
    refused,     // the exchange ends with exchange_refused
    wrong_reply, // retried like any other wrong reply
    accepted,    // taken as the acceptance
};

// The fields that tell the eleven exchanges apart; everything else they share.
struct ExchangeShape {
    std::uint8_t op;
    std::uint8_t index;
    std::uint8_t device;
    std::uint32_t data;
    RefusalMeaning refusal;
    // The connection opening runs without a connection, raises DTR and purges before each
    // attempt, and waits longer.
    bool opens_connection;
    // The connection closing lets DTR drop once the chair has accepted.
    bool lowers_dtr_on_acceptance;
};

// Runs the exchange until accepted, refused or a failure counter reaches its limit. value, when
// given, receives the reply's data word only on acceptance.
int run_exchange(ftdi_context *cable, int link_state, const ExchangeShape &shape,
                 std::uint32_t *value);
