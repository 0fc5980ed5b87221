#include "link/exchanges.h"

#include "link/attempt_loop.h"

namespace {

constexpr std::uint8_t panel_address = 1;

ExchangeShape shape(std::uint8_t op, std::uint8_t index, std::uint8_t device, std::uint32_t data,
                    RefusalMeaning refusal) {
    return ExchangeShape{op, index, device, data, refusal, false, false};
}

} // namespace

int open_connection(ftdi_context *&cable, int link_state) {
    const ExchangeShape opening{0, 0, panel_address, 0, RefusalMeaning::accepted, true, false};
    return run_exchange(cable, link_state, opening, nullptr);
}

int close_connection(ftdi_context *&cable, int link_state) {
    const ExchangeShape closing{14, 0, panel_address, 0, RefusalMeaning::wrong_reply, false, true};
    return run_exchange(cable, link_state, closing, nullptr);
}

int read_event(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index,
               std::uint32_t &value) {
    return run_exchange(cable, link_state, shape(2, index, device, 0, RefusalMeaning::refused),
                        &value);
}

int command_04(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index,
               std::uint8_t value) {
    return run_exchange(cable, link_state, shape(4, index, device, value, RefusalMeaning::refused),
                        nullptr);
}

int clear_event(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index) {
    return run_exchange(cable, link_state, shape(6, index, device, 0, RefusalMeaning::refused),
                        nullptr);
}

int read_parameter(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index,
                   std::uint32_t &value) {
    return run_exchange(cable, link_state, shape(8, index, device, 0, RefusalMeaning::refused),
                        &value);
}

int write_parameter(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index,
                    std::uint32_t value) {
    return run_exchange(cable, link_state, shape(10, index, device, value, RefusalMeaning::refused),
                        nullptr);
}

int command_12(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index) {
    return run_exchange(cable, link_state, shape(12, index, device, 0, RefusalMeaning::refused),
                        nullptr);
}

int command_16(ftdi_context *&cable, int link_state, std::uint8_t device, std::uint8_t index,
               std::uint32_t value) {
    return run_exchange(cable, link_state,
                        shape(16, index, device, value, RefusalMeaning::wrong_reply), nullptr);
}

int command_18(ftdi_context *&cable, int link_state, std::uint8_t device) {
    return run_exchange(cable, link_state, shape(18, 0, device, 0, RefusalMeaning::wrong_reply),
                        nullptr);
}

int command_20(ftdi_context *&cable, int link_state, std::uint32_t &value) {
    return run_exchange(cable, link_state,
                        shape(20, 0, panel_address, 0, RefusalMeaning::wrong_reply), &value);
}
