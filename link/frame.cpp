#include "link/frame.h"

#include <ftdi.h>

namespace {

constexpr int read_call_limit = 20;

// Which frame byte each mask bit selects, from bit 7 down to bit 1. Bits 6 and 5 are crossed on
// purpose: the device address (byte 2) is bit 6, the index or status (byte 1) bit 5.
constexpr int masked_byte[7] = {0, 2, 1, 3, 4, 5, 6};

} // namespace

Frame build_frame(std::uint8_t op, std::uint8_t index, std::uint8_t device, std::uint32_t data) {
    Frame frame{op,
                index,
                device,
                static_cast<std::uint8_t>(data),
                static_cast<std::uint8_t>(data >> 8),
                static_cast<std::uint8_t>(data >> 16),
                static_cast<std::uint8_t>(data >> 24),
                0};
    frame[7] = frame_checksum(frame);
    return frame;
}

std::uint8_t frame_checksum(const Frame &frame) {
    unsigned sum = 0;
    for (int i = 0; i < 7; ++i) {
        sum += frame[i];
    }
    return static_cast<std::uint8_t>(sum);
}

std::int32_t frame_data(const Frame &frame) {
    const std::uint32_t word = std::uint32_t{frame[3]} | std::uint32_t{frame[4]} << 8 |
                               std::uint32_t{frame[5]} << 16 | std::uint32_t{frame[6]} << 24;
    return static_cast<std::int32_t>(word);
}

int compare_frame(const Frame &received, const Frame &expected, std::uint8_t mask) {
    if (received[7] != frame_checksum(received)) {
        return -1;
    }
    for (int bit = 0; bit < 7; ++bit) {
        const bool selected = (mask & (0x80 >> bit)) != 0;
        const int byte = masked_byte[bit];
        if (selected && received[byte] != expected[byte]) {
            return -1;
        }
    }
    return 0;
}

int read_frame(ftdi_context *cable, Frame &buffer) {
    int received = 0;
    int calls = 0;
    while (received < 8 && calls < read_call_limit) {
        // Never ask for more than is missing, so the next frame stays in the driver.
        const int result = ftdi_read_data(cable, buffer.data() + received, 8 - received);
        ++calls;
        if (result < 0) {
            return result;
        }
        received += result;
    }
    if (received == 8) {
        return 8;
    }
    ftdi_usb_purge_buffers(cable);
    return -5;
}
