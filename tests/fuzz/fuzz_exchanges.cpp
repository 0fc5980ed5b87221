// Every exchange with the chair against a line that misbehaves in ways drawn from the input:
// odd bytes, lost bytes, failed writes, spoiled replies, refusals, silence and a pulled cable.
#include "fuzz_check.h"
#include "link/cable.h"
#include "link/exchanges.h"
#include "link/frame.h"
#include "link/msleep.h"
#include "sim/sim_chair.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <ftdi.h>

#include <cstdint>
#include <vector>

namespace {

// Writes, discards, replies and wrong replies each stop the call at 20: at most 19 + 19 + 19 + 20.
constexpr int attempt_limit = 77;
constexpr std::uint8_t status_accepted = 1;
constexpr std::uint8_t status_refused = 0xEE;

int waits = 0;

void count_sleep(unsigned) {
    ++waits;
}

ftdi_context *open_once() {
    replace_sleep_function(&count_sleep);
    sim::reset();
    ftdi_context *cable = nullptr;
    FUZZ_CHECK(open_cable(cable, service_cable_product_id) == 0);
    return cable;
}

// The request each exchange must write, and how it takes a refusal.
struct Expected {
    std::uint8_t op;
    std::uint8_t index;
    std::uint8_t device;
    std::uint32_t data;
    bool refusal_ends_it; // -7
    bool has_value;
};

struct Arguments {
    std::uint8_t device;
    std::uint8_t index;
    std::uint8_t small_value;
    std::uint32_t value;
};

constexpr int exchange_count = 11;

Expected expected_request(int which, const Arguments &a) {
    switch (which) {
    case 0:
        return {0, 0, 1, 0, false, false};
    case 1:
        return {14, 0, 1, 0, false, false};
    case 2:
        return {2, a.index, a.device, 0, true, true};
    case 3:
        return {4, a.index, a.device, a.small_value, true, false};
    case 4:
        return {6, a.index, a.device, 0, true, false};
    case 5:
        return {8, a.index, a.device, 0, true, true};
    case 6:
        return {10, a.index, a.device, a.value, true, false};
    case 7:
        return {12, a.index, a.device, 0, true, false};
    case 8:
        return {16, a.index, a.device, a.value, false, false};
    case 9:
        return {18, 0, a.device, 0, false, false};
    default:
        return {20, 0, 1, 0, false, true};
    }
}

int run(int which, ftdi_context *&cable, int link_state, const Arguments &a, std::uint32_t &out) {
    switch (which) {
    case 0:
        return open_connection(cable, link_state);
    case 1:
        return close_connection(cable, link_state);
    case 2:
        return read_event(cable, link_state, a.device, a.index, out);
    case 3:
        return command_04(cable, link_state, a.device, a.index, a.small_value);
    case 4:
        return clear_event(cable, link_state, a.device, a.index);
    case 5:
        return read_parameter(cable, link_state, a.device, a.index, out);
    case 6:
        return write_parameter(cable, link_state, a.device, a.index, a.value);
    case 7:
        return command_12(cable, link_state, a.device, a.index);
    case 8:
        return command_16(cable, link_state, a.device, a.index, a.value);
    case 9:
        return command_18(cable, link_state, a.device);
    default:
        return command_20(cable, link_state, out);
    }
}

std::vector<std::uint8_t> bytes_of(const Frame &frame) {
    return std::vector<std::uint8_t>(frame.begin(), frame.end());
}

// A frame for the line: raw bytes, or a well-formed reply that is right or nearly right.
std::vector<std::uint8_t> line_bytes(FuzzedDataProvider &input, const Expected &request) {
    if (input.ConsumeBool()) {
        return input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 12));
    }
    const std::uint8_t op =
        static_cast<std::uint8_t>(request.op + input.ConsumeIntegralInRange(0, 2));
    const std::uint8_t statuses[] = {status_accepted, status_refused,
                                     input.ConsumeIntegral<std::uint8_t>()};
    const std::uint8_t status = statuses[input.ConsumeIntegralInRange(0, 2)];
    const std::uint8_t address = input.ConsumeBool() ? 0 : input.ConsumeIntegral<std::uint8_t>();
    return bytes_of(build_frame(op, status, address, input.ConsumeIntegral<std::uint32_t>()));
}

// The line's misbehaviour for this call.
struct Faults {
    bool unplugged = false;
    bool dtr_fails = false;
};

Faults apply_faults(FuzzedDataProvider &input, const Expected &request) {
    Faults faults;
    for (int step = 0; step < 16 && input.remaining_bytes() > 0; ++step) {
        const auto kind = input.ConsumeBool() ? sim::FrameKind::echo : sim::FrameKind::reply;
        switch (input.ConsumeIntegralInRange(0, 10)) {
        case 0:
            sim::queue_raw(kind, line_bytes(input, request));
            break;
        case 1:
            sim::fail_writes(input.ConsumeIntegralInRange(0, 25),
                             input.ConsumeIntegralInRange(-3, 7),
                             input.ConsumeIntegralInRange(0, 5));
            break;
        case 2:
            sim::lose_bytes(kind, input.ConsumeIntegralInRange(0, 25),
                            input.ConsumeIntegralInRange(0, 8));
            break;
        case 3:
            sim::delay_reads(input.ConsumeIntegralInRange(0, 60));
            break;
        case 4: {
            std::vector<int> pieces(input.ConsumeIntegralInRange<std::size_t>(0, 4));
            for (int &piece : pieces) {
                piece = input.ConsumeIntegralInRange(0, 9);
            }
            sim::set_read_pieces(pieces);
            break;
        }
        case 5:
            sim::corrupt_replies(static_cast<sim::ReplyFault>(input.ConsumeIntegralInRange(0, 3)),
                                 input.ConsumeIntegralInRange(0, 25));
            break;
        case 6:
            sim::refuse(request.device, request.op, request.index);
            break;
        case 7:
            sim::set_silent(input.ConsumeBool());
            break;
        case 8:
            sim::unplug_after(input.ConsumeIntegralInRange(0, 400));
            faults.unplugged = true;
            break;
        case 9:
            sim::remove_param(request.device, request.index);
            sim::remove_event(request.device, request.index);
            break;
        default:
            sim::fail_step(sim::Step::setdtr, input.ConsumeIntegralInRange(0, 3));
            faults.dtr_fails = true;
            break;
        }
    }
    return faults;
}

// The last 8 bytes read from the line: the reply the exchange ended on.
std::vector<std::uint8_t> last_frame_read() {
    std::vector<std::uint8_t> delivered;
    for (const sim::Call &call : sim::calls()) {
        if (call.name == "ftdi_read_data") {
            delivered.insert(delivered.end(), call.bytes.begin(), call.bytes.end());
        }
    }
    if (delivered.size() < 8) {
        return {};
    }
    return std::vector<std::uint8_t>(delivered.end() - 8, delivered.end());
}

bool is_reply(const std::vector<std::uint8_t> &frame, const Expected &request,
              std::uint8_t status) {
    if (frame.size() != 8) {
        return false;
    }
    Frame received{};
    std::copy(frame.begin(), frame.end(), received.begin());
    return received[0] == static_cast<std::uint8_t>(request.op + 1) && received[1] == status &&
           received[2] == 0 && frame_checksum(received) == received[7];
}

std::uint32_t word_of(const std::vector<std::uint8_t> &frame) {
    return std::uint32_t{frame[3]} | std::uint32_t{frame[4]} << 8 | std::uint32_t{frame[5]} << 16 |
           std::uint32_t{frame[6]} << 24;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static ftdi_context *cable = open_once();
    FuzzedDataProvider input(data, size);

    const int which = input.ConsumeIntegralInRange(0, exchange_count - 1);
    const int states[] = {0, 1, 2, 2};
    const int link_state = states[input.ConsumeIntegralInRange(0, 3)];
    Arguments arguments{};
    arguments.device = input.ConsumeBool() ? input.ConsumeIntegralInRange<std::uint8_t>(1, 2)
                                           : input.ConsumeIntegral<std::uint8_t>();
    arguments.index = input.ConsumeIntegral<std::uint8_t>();
    arguments.small_value = input.ConsumeIntegral<std::uint8_t>();
    arguments.value = input.ConsumeIntegral<std::uint32_t>();
    const std::uint32_t untouched = input.ConsumeIntegral<std::uint32_t>();
    const Expected request = expected_request(which, arguments);

    sim::reset();
    const Faults faults = apply_faults(input, request);
    waits = 0;

    std::uint32_t out = untouched;
    ftdi_context *const opened = cable;
    const int result = run(which, cable, link_state, arguments, out);

    FUZZ_CHECK(result <= 0 && result >= -7);
    FUZZ_CHECK(cable == opened);
    FUZZ_CHECK((result == 0 && request.has_value) || out == untouched);
    const bool opens = which == 0;
    FUZZ_CHECK((result == -1) == (link_state == 0));
    FUZZ_CHECK((result == -2) == (link_state == 1 && !opens));
    if (result == -1 || result == -2) {
        FUZZ_CHECK(sim::calls().empty() && waits == 0);
        return 0;
    }
    FUZZ_CHECK(result != -7 || request.refusal_ends_it);

    const Frame sent = build_frame(request.op, request.index, request.device, request.data);
    const auto written = sim::written_frames();
    FUZZ_CHECK(!written.empty() && static_cast<int>(written.size()) <= attempt_limit);
    for (const auto &frame : written) {
        FUZZ_CHECK(frame == bytes_of(sent));
    }
    // One wait after each failed attempt and after success; the opening also settles first.
    FUZZ_CHECK(waits <= (opens ? 2 : 1) * static_cast<int>(written.size()));

    const std::vector<std::uint8_t> reply = last_frame_read();
    if (result == 0) {
        FUZZ_CHECK(is_reply(reply, request, status_accepted) ||
                   (opens && is_reply(reply, request, status_refused)));
        FUZZ_CHECK(!request.has_value || out == word_of(reply));
    }
    if (result == -7) {
        FUZZ_CHECK(is_reply(reply, request, status_refused));
    }
    if (!faults.unplugged && !faults.dtr_fails) {
        const bool dtr_stays_high = result == -7 || (result == 0 && which != 1);
        FUZZ_CHECK(sim::dtr_high() == dtr_stays_high);
    }
    return 0;
}
