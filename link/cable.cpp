#include "link/cable.h"

#include <ftdi.h>

namespace {

constexpr int chair_baud_rate = 4800;
constexpr unsigned char chair_latency_ms = 15;
// A chip that keeps refusing the latency timer would otherwise be reopened forever.
constexpr int reopen_cycle_limit = 3;

int give_up(ftdi_context *&cable) {
    ftdi_free(cable);
    cable = nullptr;
    return -1;
}

} // namespace

int open_cable(ftdi_context *&cable, int product_id) {
    cable = ftdi_new();
    if (cable == nullptr) {
        return -1;
    }
    ftdi_set_interface(cable, INTERFACE_ANY);
    for (int cycle = 0;; ++cycle) {
        if (ftdi_usb_open(cable, ftdi_vendor_id, product_id) < 0) {
            return give_up(cable);
        }
        unsigned int chip_id = 0;
        ftdi_read_chipid(cable, &chip_id);
        if (ftdi_set_baudrate(cable, chair_baud_rate) < 0 ||
            ftdi_set_line_property(cable, BITS_8, STOP_BIT_1, NONE) < 0) {
            return give_up(cable);
        }
        unsigned char latency = 0;
        if (ftdi_get_latency_timer(cable, &latency) < 0) {
            return give_up(cable);
        }
        if (latency == chair_latency_ms) {
            return 0;
        }
        // The chip applies a new latency timer only from the next open onwards.
        if (cycle == reopen_cycle_limit || ftdi_set_latency_timer(cable, chair_latency_ms) < 0 ||
            ftdi_usb_close(cable) < 0) {
            return give_up(cable);
        }
    }
}

int close_cable(ftdi_context *cable) {
    if (cable == nullptr) {
        return -1;
    }
    const bool closed = ftdi_setdtr(cable, 0) >= 0 && ftdi_usb_close(cable) >= 0;
    ftdi_free(cable);
    return closed ? 0 : -1;
}
