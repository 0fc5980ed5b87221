// Frame reading and matching against whatever the line delivers: arbitrary bytes, cut into
// arbitrary pieces, after arbitrary empty reads, with the cable perhaps pulled midway.
#include "fuzz_check.h"
#include "link/cable.h"
#include "link/frame.h"
#include "link/msleep.h"
#include "sim/sim_chair.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <ftdi.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr int read_call_limit = 20;

void no_sleep(unsigned) {}

ftdi_context *open_once() {
    replace_sleep_function(&no_sleep);
    sim::reset();
    ftdi_context *cable = nullptr;
    FUZZ_CHECK(open_cable(cable, service_cable_product_id) == 0);
    return cable;
}

Frame frame_from(FuzzedDataProvider &input) {
    Frame frame{};
    for (std::uint8_t &byte : frame) {
        byte = input.ConsumeIntegral<std::uint8_t>();
    }
    return frame;
}

bool checksum_right(const Frame &frame) {
    unsigned sum = 0;
    for (int i = 0; i < 7; ++i) {
        sum += frame[i];
    }
    return frame[7] == (sum & 0xFF);
}

// Which mask bit selects each of bytes 0 to 6; bits 6 and 5 are crossed.
bool matches(const Frame &received, const Frame &expected, std::uint8_t mask) {
    constexpr std::uint8_t bit_of_byte[7] = {0x80, 0x20, 0x40, 0x10, 0x08, 0x04, 0x02};
    if (!checksum_right(received)) {
        return false;
    }
    for (int byte = 0; byte < 7; ++byte) {
        if ((mask & bit_of_byte[byte]) != 0 && received[byte] != expected[byte]) {
            return false;
        }
    }
    return true;
}

void check_compare(const Frame &received, const Frame &expected, std::uint8_t mask) {
    const int result = compare_frame(received, expected, mask);
    FUZZ_CHECK(result == 0 || result == -1);
    FUZZ_CHECK((result == 0) == matches(received, expected, mask));
    // Bit 0 selects nothing.
    FUZZ_CHECK(compare_frame(received, expected, mask ^ 0x01) == result);
    FUZZ_CHECK(compare_frame(received, received, mask) == (checksum_right(received) ? 0 : -1));

    const std::int32_t data = frame_data(received);
    const Frame rebuilt =
        build_frame(received[0], received[1], received[2], static_cast<std::uint32_t>(data));
    FUZZ_CHECK(frame_data(rebuilt) == data);
    FUZZ_CHECK(frame_checksum(rebuilt) == rebuilt[7] && checksum_right(rebuilt));
    FUZZ_CHECK(std::equal(rebuilt.begin(), rebuilt.begin() + 7, received.begin()));
    FUZZ_CHECK((compare_frame(received, rebuilt, 0xFE) == 0) == checksum_right(received));
}

// One read_frame, checked against the record of the calls it made and the stream still waiting.
// Returns false once the line has been purged.
bool read_one(ftdi_context *cable, const std::vector<std::uint8_t> &stream, std::size_t &offset,
              const Frame &expected, std::uint8_t mask) {
    sim::clear_record();
    Frame buffer{};
    const int result = read_frame(cable, buffer);

    int reads = 0;
    int delivered = 0;
    int purges = 0;
    int driver_error = 0;
    for (const sim::Call &call : sim::calls()) {
        FUZZ_CHECK(driver_error == 0);
        if (call.name == "ftdi_usb_purge_buffers") {
            ++purges;
            continue;
        }
        FUZZ_CHECK(call.name == "ftdi_read_data");
        FUZZ_CHECK(purges == 0);
        ++reads;
        // Never more than is missing, so the next frame stays on the line.
        FUZZ_CHECK(call.args.at(0) == 8 - delivered);
        FUZZ_CHECK(call.result <= call.args.at(0));
        if (call.result < 0) {
            driver_error = call.result;
        } else {
            delivered += call.result;
        }
    }
    FUZZ_CHECK(reads >= 1 && reads <= read_call_limit);
    FUZZ_CHECK(std::equal(buffer.begin(), buffer.begin() + delivered, stream.begin() + offset));
    if (driver_error != 0) {
        // Handed on at once, without a purge.
        FUZZ_CHECK(result == driver_error && purges == 0);
        return false;
    }
    if (result == 8) {
        FUZZ_CHECK(delivered == 8 && purges == 0);
        offset += 8;
        check_compare(buffer, expected, mask);
        return true;
    }
    FUZZ_CHECK(result == -5);
    FUZZ_CHECK(delivered < 8 && reads == read_call_limit && purges == 1);
    offset = stream.size();
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static ftdi_context *cable = open_once();
    FuzzedDataProvider input(data, size);

    std::vector<int> pieces(input.ConsumeIntegralInRange<std::size_t>(0, 4));
    for (int &piece : pieces) {
        piece = input.ConsumeIntegralInRange(-1, 9);
    }
    const int delays = input.ConsumeIntegralInRange(0, 2 * read_call_limit);
    // -1: the cable stays in; otherwise it is pulled after that many more driver calls.
    const int unplug = input.ConsumeIntegralInRange(-1, 3 * read_call_limit);
    const std::uint8_t mask = input.ConsumeIntegral<std::uint8_t>();
    const Frame expected = frame_from(input);
    const std::vector<std::uint8_t> echo =
        input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 24));
    const std::vector<std::uint8_t> reply = input.ConsumeRemainingBytes<std::uint8_t>();

    sim::reset();
    sim::set_read_pieces(pieces);
    sim::queue_raw(sim::FrameKind::echo, echo);
    sim::queue_raw(sim::FrameKind::reply, reply);
    Frame request = build_frame(8, 1, sim::drive, 0);
    FUZZ_CHECK(ftdi_write_data(cable, request.data(), 8) == 8);
    sim::delay_reads(delays);
    if (unplug >= 0) {
        sim::unplug_after(unplug);
    }

    std::vector<std::uint8_t> stream = echo;
    stream.insert(stream.end(), reply.begin(), reply.end());
    std::size_t offset = 0;
    while (offset < stream.size() && read_one(cable, stream, offset, expected, mask)) {
    }
    return 0;
}
