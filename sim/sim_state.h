#pragma once

#include "sim/device.h"
#include "sim/sim_chair.h"

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

struct ftdi_context;

namespace sim {

// A run of failing writes, after some good ones.
struct WriteFailures {
    int good_before;
    int count;
    int reported;
};

// Everything the simulated cable and chair hold, guarded by one mutex.
struct State {
    State() { reset(); }

    std::mutex mutex;

    std::map<std::uint8_t, Device> devices;
    std::set<int> plugged_products;
    unsigned char latency_timer = 15;
    bool latency_stuck = false;
    std::map<Step, int> failing_steps;
    std::deque<WriteFailures> write_failures;
    int frames_losing_bytes[2] = {0, 0};
    int bytes_lost[2] = {0, 0};
    int delayed_reads = 0;
    std::vector<int> read_pieces;
    std::size_t next_piece = 0;
    std::deque<ReplyFault> reply_faults;
    std::deque<std::vector<std::uint8_t>> raw_frames[2];
    std::set<std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>> refusals;
    std::map<std::pair<std::uint8_t, std::uint8_t>, std::optional<std::uint32_t>> misstores;
    bool silent = false;
    int answers_before_silence = -1;
    int calls_before_unplug = -1;
    bool unplugged = false;

    std::deque<std::uint8_t> received;
    bool dtr = false;
    std::set<ftdi_context *> contexts;
    std::set<ftdi_context *> open_contexts;

    std::vector<Call> record;
    std::vector<int> dtr_record;

    // Back to the default chair with no faults and an empty record; the contexts are kept.
    void reset();
    // Counts one libftdi call against a pending unplug.
    void count_call();
    // True when the device behind ftdi is plugged in and opened.
    bool reachable(ftdi_context *ftdi) const;
    // Takes one pending failure of step, if any.
    bool take_failure(Step step);
    // The result a write should report instead of its size, if it is to fail.
    std::optional<int> take_write_failure();
    // What device answers to a request, with the refusals and misstores set on it.
    Answer answer(Device &device, std::uint8_t op, std::uint8_t index, std::uint32_t data);
    // The line's answer to written bytes: the echo, then the device's reply.
    void transmit(const std::vector<std::uint8_t> &written);
    // Takes up to size received bytes for one read.
    std::vector<std::uint8_t> deliver(int size);
    void note(const char *name, std::vector<long> args, int result,
              std::vector<std::uint8_t> bytes = {});
};

// The one simulated chair of the process, locked for the caller's scope.
struct LockedState {
    std::unique_lock<std::mutex> lock;
    State &state;
    State *operator->() { return &state; }
};
LockedState locked_state();

} // namespace sim
