#include "sim/sim_state.h"

#include <algorithm>
#include <cstddef>

namespace sim {

namespace {

std::vector<std::uint8_t> reply_frame(std::uint8_t op, const Answer &answer) {
    std::vector<std::uint8_t> frame{static_cast<std::uint8_t>(op + 1),
                                    answer.status,
                                    0,
                                    static_cast<std::uint8_t>(answer.data),
                                    static_cast<std::uint8_t>(answer.data >> 8),
                                    static_cast<std::uint8_t>(answer.data >> 16),
                                    static_cast<std::uint8_t>(answer.data >> 24),
                                    0};
    for (int i = 0; i < 7; ++i) {
        frame[7] = static_cast<std::uint8_t>(frame[7] + frame[i]);
    }
    return frame;
}

void spoil(std::vector<std::uint8_t> &frame, ReplyFault fault) {
    switch (fault) {
    case ReplyFault::bad_checksum:
        ++frame[7];
        return;
    case ReplyFault::wrong_op:
        frame[0] = static_cast<std::uint8_t>(frame[0] + 2);
        break;
    case ReplyFault::wrong_status:
        frame[1] = 2;
        break;
    case ReplyFault::wrong_address:
        frame[2] = drive;
        break;
    }
    // The other faults keep a valid checksum, so only the faulty field can be blamed.
    frame[7] = 0;
    for (int i = 0; i < 7; ++i) {
        frame[7] = static_cast<std::uint8_t>(frame[7] + frame[i]);
    }
}

bool checksum_ok(const std::vector<std::uint8_t> &frame) {
    std::uint8_t sum = 0;
    for (int i = 0; i < 7; ++i) {
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    }
    return frame[7] == sum;
}

} // namespace

void State::reset() {
    devices = {{panel, default_device(panel)}, {drive, default_device(drive)}};
    plugged_products = {0x8358, 0x8359};
    latency_timer = 15;
    latency_stuck = false;
    failing_steps.clear();
    write_failures.clear();
    std::fill(std::begin(frames_losing_bytes), std::end(frames_losing_bytes), 0);
    std::fill(std::begin(bytes_lost), std::end(bytes_lost), 0);
    delayed_reads = 0;
    read_pieces.clear();
    next_piece = 0;
    reply_faults.clear();
    raw_frames[0].clear();
    raw_frames[1].clear();
    refusals.clear();
    misstores.clear();
    silent = false;
    answers_before_silence = -1;
    calls_before_unplug = -1;
    unplugged = false;
    received.clear();
    dtr = false;
    record.clear();
    dtr_record.clear();
}

void State::count_call() {
    if (calls_before_unplug == 0) {
        unplugged = true;
    }
    if (calls_before_unplug > 0) {
        --calls_before_unplug;
    }
}

bool State::reachable(ftdi_context *ftdi) const {
    return !unplugged && open_contexts.count(ftdi) != 0;
}

bool State::take_failure(Step step) {
    auto pending = failing_steps.find(step);
    if (pending == failing_steps.end() || pending->second == 0) {
        return false;
    }
    --pending->second;
    return true;
}

std::optional<int> State::take_write_failure() {
    if (write_failures.empty()) {
        return std::nullopt;
    }
    WriteFailures &next = write_failures.front();
    if (next.good_before > 0) {
        --next.good_before;
        return std::nullopt;
    }
    const int reported = next.reported;
    if (--next.count == 0) {
        write_failures.pop_front();
    }
    return reported;
}

Answer State::answer(Device &device, std::uint8_t op, std::uint8_t index, std::uint32_t data) {
    if (refusals.count({device.address, op, index}) != 0) {
        return Answer{status_refused, 0};
    }
    const auto misstored = misstores.find({device.address, index});
    const auto held = device.params.find(index);
    if (op != 10 || misstored == misstores.end() || held == device.params.end()) {
        return answer_request(device, op, index, data);
    }
    // The reply is that of a good write; only the word kept differs.
    const std::uint32_t kept = misstored->second.value_or(held->second);
    const Answer answer = answer_request(device, op, index, data);
    held->second = kept;
    return answer;
}

void State::transmit(const std::vector<std::uint8_t> &written) {
    if (answers_before_silence == 0) {
        silent = true;
    }
    if (answers_before_silence >= 0) {
        --answers_before_silence;
    }
    if (silent) {
        return;
    }
    std::vector<std::uint8_t> frames[2];
    const auto take_raw = [this](FrameKind kind, std::vector<std::uint8_t> &frame) {
        auto &queue = raw_frames[static_cast<int>(kind)];
        if (queue.empty()) {
            return false;
        }
        frame = queue.front();
        queue.pop_front();
        return true;
    };
    if (!take_raw(FrameKind::echo, frames[0])) {
        frames[0] = written;
    }
    if (!take_raw(FrameKind::reply, frames[1]) && written.size() == 8 && checksum_ok(written)) {
        // A frame with a bad checksum, or for an address nobody has, goes unanswered.
        const auto device = devices.find(written[2]);
        if (device != devices.end()) {
            const std::uint8_t op = written[0];
            const std::uint32_t data = std::uint32_t{written[3]} | std::uint32_t{written[4]} << 8 |
                                       std::uint32_t{written[5]} << 16 |
                                       std::uint32_t{written[6]} << 24;
            frames[1] = reply_frame(op, answer(device->second, op, written[1], data));
            if (!reply_faults.empty()) {
                spoil(frames[1], reply_faults.front());
                reply_faults.pop_front();
            }
        }
    }
    for (int kind = 0; kind < 2; ++kind) {
        std::vector<std::uint8_t> &frame = frames[kind];
        if (!frame.empty() && frames_losing_bytes[kind] > 0) {
            --frames_losing_bytes[kind];
            const auto lost = std::min<std::size_t>(frame.size(), bytes_lost[kind]);
            frame.resize(frame.size() - lost);
        }
        received.insert(received.end(), frame.begin(), frame.end());
    }
}

std::vector<std::uint8_t> State::deliver(int size) {
    if (delayed_reads > 0) {
        --delayed_reads;
        return {};
    }
    std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(size), received.size());
    if (count > 0 && !read_pieces.empty()) {
        const int piece = read_pieces[next_piece % read_pieces.size()];
        ++next_piece;
        count = std::min<std::size_t>(count, static_cast<std::size_t>(std::max(piece, 0)));
    }
    const auto end = received.begin() + static_cast<std::ptrdiff_t>(count);
    std::vector<std::uint8_t> bytes(received.begin(), end);
    received.erase(received.begin(), end);
    return bytes;
}

void State::note(const char *name, std::vector<long> args, int result,
                 std::vector<std::uint8_t> bytes) {
    record.push_back(Call{name, std::move(args), std::move(bytes), result});
}

LockedState locked_state() {
    static State state;
    return LockedState{std::unique_lock<std::mutex>(state.mutex), state};
}

} // namespace sim
