#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A chair on a simulated FTDI cable: the libftdi functions the link calls are defined by this
// library and talk to a simulated control panel (address 1) and motor drive (address 2). The line
// answers every written request first with a copy of the request, then with the device's reply,
// at once. Everything here is safe to call from any thread.
namespace sim {

constexpr std::uint8_t panel = 1;
constexpr std::uint8_t drive = 2;

// Steps of opening and closing the cable that a test can make fail.
enum class Step {
    usb_open,
    set_baudrate,
    set_line_property,
    get_latency_timer,
    set_latency_timer,
    usb_close,
    setdtr,
};

// Ways of spoiling a device's reply frame.
enum class ReplyFault {
    bad_checksum,  // checksum byte off by one
    wrong_op,      // op is not request + 1
    wrong_status,  // status is neither accepted nor refused
    wrong_address, // byte 2 holds the device address instead of 0
};

// The two frames the line sends back for each request.
enum class FrameKind { echo, reply };

// One libftdi call as the chair saw it.
struct Call {
    std::string name;
    std::vector<long> args;          // the integer arguments, in order
    std::vector<std::uint8_t> bytes; // bytes written (ftdi_write_data) or delivered (read)
    int result = 0;
};

// Back to the default chair: all cable kinds plugged, no faults, default values, empty record.
void reset();

// The default values of the chair, as reset() sets them.
std::map<std::uint8_t, std::uint32_t> default_params(std::uint8_t device);
std::map<std::uint8_t, std::uint8_t> default_events(std::uint8_t device);

// The devices' state. Indices a device does not hold are refused by it.
std::map<std::uint8_t, std::uint32_t> params(std::uint8_t device);
std::map<std::uint8_t, std::uint8_t> events(std::uint8_t device);
std::uint32_t param(std::uint8_t device, std::uint8_t index);
std::uint8_t event(std::uint8_t device, std::uint8_t index);
void set_param(std::uint8_t device, std::uint8_t index, std::uint32_t value);
void set_event(std::uint8_t device, std::uint8_t index, std::uint8_t value);
void remove_param(std::uint8_t device, std::uint8_t index);
void remove_event(std::uint8_t device, std::uint8_t index);

// The cable kinds (USB product ids) plugged in; empty: no cable at all.
void set_plugged_products(const std::vector<int> &product_ids);
// The latency timer the chip reads back; stuck: it accepts a new value but keeps this one.
void set_latency_timer(unsigned char milliseconds, bool stuck = false);
// The next count calls of step fail with a negative result.
void fail_step(Step step, int count = 1);
// After `after` more good writes, the next count writes report `reported` (fewer than 8 bytes, or
// negative) and nothing of them reaches the line. Calls queue up: `after` counts from the end of
// the failures queued before.
void fail_writes(int count, int reported = -1, int after = 0);
// The next count frames of that kind lose their last `bytes` bytes.
void lose_bytes(FrameKind kind, int count, int bytes = 1);
// The next count reads return 0 bytes, even when bytes are waiting.
void delay_reads(int count);
// Successive reads deliver at most these many bytes, cycling through the list; empty: no limit.
void set_read_pieces(const std::vector<int> &sizes);
// The next count replies carry that fault.
void corrupt_replies(ReplyFault fault, int count);
// Queues bytes sent instead of the next echo or reply (one queued entry per request).
void queue_raw(FrameKind kind, const std::vector<std::uint8_t> &bytes);
// The device answers this request with status 0xEE from now on.
void refuse(std::uint8_t device, std::uint8_t op, std::uint8_t index);
// The device acknowledges every write of this parameter as it does any write, yet keeps its old
// value, or stores `stored` instead when given: a failing memory, or a value clamped in silence.
void misstore(std::uint8_t device, std::uint8_t index,
              std::optional<std::uint32_t> stored = std::nullopt);
// Writes succeed and nothing ever comes back.
void set_silent(bool silent);
// The chair answers `requests` more requests, then falls silent as set_silent(true) does.
void silence_after(int requests);
// The cable is pulled out after `calls` more libftdi calls (0: at once); every call touching the
// device then fails.
void unplug_after(int calls);

// The record of everything the chair received since the last reset or clear_record().
std::vector<Call> calls();
std::vector<std::string> call_names();
std::vector<std::vector<std::uint8_t>> written_frames();
// The states given to every DTR change that took effect, and the line's state now.
std::vector<int> dtr_changes();
bool dtr_high();
int count_calls(const std::string &name);
void clear_record();
// Contexts made by ftdi_new and not yet freed.
int live_contexts();

} // namespace sim
