#pragma once

#include <array>
#include <cstdint>

// Every request and reply on the chair's line is exactly these 8 bytes: op, index (status in a
// reply), device address, a little-endian 32-bit data word, and the sum of bytes 0-6 modulo 256.
using Frame = std::array<std::uint8_t, 8>;

struct ftdi_context;

Frame build_frame(std::uint8_t op, std::uint8_t index, std::uint8_t device, std::uint32_t data);
std::uint8_t frame_checksum(const Frame &frame);
std::int32_t frame_data(const Frame &frame);

// 0 when every byte selected by the mask matches and the received frame's own checksum is right,
// -1 otherwise. Mask bits: 0x80 byte 0, 0x40 byte 2, 0x20 byte 1, 0x10..0x02 bytes 3..6.
int compare_frame(const Frame &received, const Frame &expected, std::uint8_t mask);

// 8 when a whole frame arrived, -5 when it did not (the buffers are purged), or the driver's
// negative error.
int read_frame(ftdi_context *cable, Frame &buffer);
