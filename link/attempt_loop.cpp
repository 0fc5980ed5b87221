#include "link/attempt_loop.h"

#include "link/exchanges.h"
#include "link/frame.h"
#include "link/msleep.h"

#include <ftdi.h>

namespace {

constexpr int failure_limit = 20;
constexpr std::uint8_t reply_mask = 0xE0;
constexpr std::uint8_t status_accepted = 1;
constexpr std::uint8_t status_refused = 0xEE;
constexpr unsigned settle_ms = 100;
constexpr unsigned connection_wait_ms = 250;
constexpr unsigned exchange_wait_ms = 50;

// The four kinds of failure, each counted over the whole call.
struct FailureCounters {
    int writes = 0;
    int discards = 0;
    int replies = 0;
    int wrong = 0;

    // The code of the first kind that reached the limit, tested in the order of the codes; 0 while
    // none has.
    int limit_code() const {
        if (writes >= failure_limit) {
            return exchange_write_failed;
        }
        if (discards >= failure_limit) {
            return exchange_discard_failed;
        }
        if (replies >= failure_limit) {
            return exchange_reply_failed;
        }
        if (wrong >= failure_limit) {
            return exchange_wrong_reply;
        }
        return 0;
    }
};

enum class Outcome { accepted, refused, failed };

// One request and its two frames back: the line's own copy of the request, set aside unread,
// and the reply.
Outcome attempt(ftdi_context *cable, const ExchangeShape &shape, FailureCounters &counters,
                Frame &reply) {
    Frame request = build_frame(shape.op, shape.index, shape.device, shape.data);
    if (ftdi_write_data(cable, request.data(), static_cast<int>(request.size())) != 8) {
        ++counters.writes;
        return Outcome::failed;
    }
    if (read_frame(cable, reply) != 8) {
        ++counters.discards;
        return Outcome::failed;
    }
    if (read_frame(cable, reply) != 8) {
        ++counters.replies;
        return Outcome::failed;
    }
    const auto reply_op = static_cast<std::uint8_t>(shape.op + 1);
    if (compare_frame(reply, build_frame(reply_op, status_accepted, 0, 0), reply_mask) == 0) {
        return Outcome::accepted;
    }
    if (shape.refusal != RefusalMeaning::wrong_reply &&
        compare_frame(reply, build_frame(reply_op, status_refused, 0, 0), reply_mask) == 0) {
        return shape.refusal == RefusalMeaning::accepted ? Outcome::accepted : Outcome::refused;
    }
    ++counters.wrong;
    return Outcome::failed;
}

} // namespace

int run_exchange(ftdi_context *cable, int link_state, const ExchangeShape &shape,
                 std::uint32_t *value) {
    if (link_state < 1) {
        return exchange_no_cable;
    }
    if (link_state < 2 && !shape.opens_connection) {
        return exchange_not_connected;
    }
    if (!shape.opens_connection) {
        ftdi_setdtr(cable, 1);
    }
    FailureCounters counters;
    Frame reply{};
    for (;;) {
        if (shape.opens_connection) {
            ftdi_setdtr(cable, 1);
            msleep(settle_ms);
            ftdi_usb_purge_buffers(cable);
        }
        const Outcome outcome = attempt(cable, shape, counters, reply);
        if (outcome == Outcome::accepted) {
            if (value != nullptr) {
                *value = static_cast<std::uint32_t>(frame_data(reply));
            }
            msleep(shape.opens_connection ? connection_wait_ms : exchange_wait_ms);
            if (shape.lowers_dtr_on_acceptance) {
                ftdi_setdtr(cable, 0);
            }
            return exchange_ok;
        }
        if (outcome == Outcome::refused) {
            return exchange_refused;
        }
        if (shape.opens_connection) {
            ftdi_setdtr(cable, 0);
            ftdi_usb_purge_buffers(cable);
            msleep(connection_wait_ms);
        } else {
            msleep(exchange_wait_ms);
        }
        // Every failed attempt raises one counter, so a limit is reached within 77 attempts.
        const int code = counters.limit_code();
        if (code != 0) {
            ftdi_setdtr(cable, 0);
            return code;
        }
    }
}
