#pragma once

#include <cstdint>

struct ftdi_context;

// Result codes of every exchange with the chair.
enum ExchangeResult : int {
    exchange_ok = 0,
    exchange_no_cable = -1,
    exchange_not_connected = -2,
    exchange_write_failed = -3,
    exchange_discard_failed = -4,
    exchange_reply_failed = -5,
    exchange_wrong_reply = -6,
    exchange_refused = -7,
    exchange_unexpected = -99,
};

// Each exchange writes one request, reads and ignores one frame, then reads and checks the reply,
// retrying until it is accepted or one kind of failure happened 20 times. Out values are written
// only when the result is 0.
int open_connection(ftdi_context *&cable, int link_state);
int close_connection(ftdi_context *&cable, int link_state);
int read_event(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index,
               std::uint32_t &value);
int command_04(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index,
               std::uint8_t value);
int clear_event(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index);
int read_parameter(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index,
                   std::uint32_t &value);
int write_parameter(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index,
                    std::uint32_t value);
int command_12(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index);
int command_16(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index,
               std::uint32_t value);
int command_18(ftdi_context *&cable, int link_state, std::uint8_t device);
int command_20(ftdi_context *&cable, int link_state, std::uint32_t &value);
