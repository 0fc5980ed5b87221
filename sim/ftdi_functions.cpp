// The libftdi functions the link calls, answered by the simulated cable and chair.
#include "sim/sim_state.h"

#include <cstdlib>
#include <ftdi.h>
#include <optional>

namespace {

// libftdi's answers for a device that is gone or was never opened, and for a failed step.
constexpr int device_unavailable = -666;
constexpr int device_not_found = -3;
constexpr int step_failed = -1;
constexpr int ftdi_vendor = 0x0403;
constexpr unsigned int chip_id = 0x5A1E0F7D;

// The common shape of a call that talks to the device: counted, refused when the device cannot
// be reached or the step is set to fail, recorded.
template <typename Action>
int device_call(ftdi_context *ftdi, const char *name, std::vector<long> args,
                std::optional<sim::Step> step, Action action) {
    auto s = sim::locked_state();
    s->count_call();
    int result = 0;
    if (!s->reachable(ftdi)) {
        result = device_unavailable;
    } else if (step && s->take_failure(*step)) {
        result = step_failed;
    } else {
        result = action(s.state);
    }
    s->note(name, std::move(args), result);
    return result;
}

int always(sim::State & /*state*/) {
    return 0;
}

} // namespace

extern "C" {

struct ftdi_context *ftdi_new(void) {
    auto s = sim::locked_state();
    s->count_call();
    auto *ftdi = static_cast<ftdi_context *>(std::calloc(1, sizeof(ftdi_context)));
    s->contexts.insert(ftdi);
    s->note("ftdi_new", {}, 0);
    return ftdi;
}

void ftdi_free(struct ftdi_context *ftdi) {
    auto s = sim::locked_state();
    s->count_call();
    // A context freed twice is recorded as a failed call instead of corrupting the heap.
    const bool known = s->contexts.erase(ftdi) != 0;
    s->open_contexts.erase(ftdi);
    s->note("ftdi_free", {}, known ? 0 : -1);
    if (known) {
        std::free(ftdi);
    }
}

int ftdi_set_interface(struct ftdi_context *ftdi, enum ftdi_interface interface) {
    auto s = sim::locked_state();
    s->count_call();
    const int result = s->contexts.count(ftdi) != 0 ? 0 : -1;
    s->note("ftdi_set_interface", {interface}, result);
    return result;
}

int ftdi_usb_open(struct ftdi_context *ftdi, int vendor, int product) {
    auto s = sim::locked_state();
    s->count_call();
    int result = 0;
    if (s->unplugged || vendor != ftdi_vendor || s->plugged_products.count(product) == 0 ||
        s->contexts.count(ftdi) == 0) {
        result = device_not_found;
    } else if (s->take_failure(sim::Step::usb_open)) {
        result = step_failed;
    } else {
        s->open_contexts.insert(ftdi);
    }
    s->note("ftdi_usb_open", {vendor, product}, result);
    return result;
}

int ftdi_usb_close(struct ftdi_context *ftdi) {
    auto s = sim::locked_state();
    s->count_call();
    int result = 0;
    if (s->open_contexts.count(ftdi) != 0 &&
        (s->unplugged || s->take_failure(sim::Step::usb_close))) {
        result = step_failed;
    }
    // Like the driver, the handle is let go even when releasing the device failed.
    s->open_contexts.erase(ftdi);
    s->note("ftdi_usb_close", {}, result);
    return result;
}

int ftdi_read_chipid(struct ftdi_context *ftdi, unsigned int *chipid) {
    return device_call(ftdi, "ftdi_read_chipid", {}, std::nullopt, [chipid](sim::State &) {
        *chipid = chip_id;
        return 0;
    });
}

int ftdi_set_baudrate(struct ftdi_context *ftdi, int baudrate) {
    return device_call(ftdi, "ftdi_set_baudrate", {baudrate}, sim::Step::set_baudrate, always);
}

int ftdi_set_line_property(struct ftdi_context *ftdi, enum ftdi_bits_type bits,
                           enum ftdi_stopbits_type sbit, enum ftdi_parity_type parity) {
    return device_call(ftdi, "ftdi_set_line_property", {bits, sbit, parity},
                       sim::Step::set_line_property, always);
}

int ftdi_get_latency_timer(struct ftdi_context *ftdi, unsigned char *latency) {
    return device_call(ftdi, "ftdi_get_latency_timer", {}, sim::Step::get_latency_timer,
                       [latency](const sim::State &s) {
                           *latency = s.latency_timer;
                           return 0;
                       });
}

int ftdi_set_latency_timer(struct ftdi_context *ftdi, unsigned char latency) {
    return device_call(ftdi, "ftdi_set_latency_timer", {latency}, sim::Step::set_latency_timer,
                       [latency](sim::State &s) {
                           if (!s.latency_stuck) {
                               s.latency_timer = latency;
                           }
                           return 0;
                       });
}

int ftdi_setdtr(struct ftdi_context *ftdi, int state) {
    return device_call(ftdi, "ftdi_setdtr", {state}, sim::Step::setdtr, [state](sim::State &s) {
        s.dtr = state != 0;
        s.dtr_record.push_back(state);
        return 0;
    });
}

int ftdi_usb_purge_buffers(struct ftdi_context *ftdi) {
    return device_call(ftdi, "ftdi_usb_purge_buffers", {}, std::nullopt, [](sim::State &s) {
        s.received.clear();
        return 0;
    });
}

int ftdi_write_data(struct ftdi_context *ftdi, unsigned char *buf, int size) {
    auto s = sim::locked_state();
    s->count_call();
    std::vector<std::uint8_t> bytes;
    if (buf != nullptr && size > 0) {
        bytes.assign(buf, buf + size);
    }
    int result = size;
    if (!s->reachable(ftdi)) {
        result = device_unavailable;
    } else if (const std::optional<int> failure = s->take_write_failure()) {
        result = *failure;
    } else {
        s->transmit(bytes);
    }
    s->note("ftdi_write_data", {size}, result, bytes);
    return result;
}

int ftdi_read_data(struct ftdi_context *ftdi, unsigned char *buf, int size) {
    auto s = sim::locked_state();
    s->count_call();
    std::vector<std::uint8_t> bytes;
    int result = 0;
    if (!s->reachable(ftdi)) {
        result = device_unavailable;
    } else if (buf == nullptr || size < 0) {
        result = -1;
    } else {
        bytes = s->deliver(size);
        std::copy(bytes.begin(), bytes.end(), buf);
        result = static_cast<int>(bytes.size());
    }
    s->note("ftdi_read_data", {size}, result, bytes);
    return result;
}

} // extern "C"
