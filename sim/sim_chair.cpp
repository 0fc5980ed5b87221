#include "sim/sim_chair.h"

#include "sim/sim_state.h"

#include <algorithm>
#include <iterator>

namespace sim {

namespace {

Device *find_device(State &s, std::uint8_t device) {
    const auto found = s.devices.find(device);
    return found != s.devices.end() ? &found->second : nullptr;
}

} // namespace

void reset() {
    locked_state()->reset();
}

std::map<std::uint8_t, std::uint32_t> params(std::uint8_t device) {
    auto s = locked_state();
    const Device *d = find_device(s.state, device);
    return d != nullptr ? d->params : std::map<std::uint8_t, std::uint32_t>{};
}

std::map<std::uint8_t, std::uint8_t> events(std::uint8_t device) {
    auto s = locked_state();
    const Device *d = find_device(s.state, device);
    return d != nullptr ? d->events : std::map<std::uint8_t, std::uint8_t>{};
}

std::uint32_t param(std::uint8_t device, std::uint8_t index) {
    const auto all = params(device);
    const auto found = all.find(index);
    return found != all.end() ? found->second : 0;
}

std::uint8_t event(std::uint8_t device, std::uint8_t index) {
    const auto all = events(device);
    const auto found = all.find(index);
    return found != all.end() ? found->second : 0;
}

void set_param(std::uint8_t device, std::uint8_t index, std::uint32_t value) {
    auto s = locked_state();
    if (Device *d = find_device(s.state, device)) {
        d->params[index] = value;
    }
}

void set_event(std::uint8_t device, std::uint8_t index, std::uint8_t value) {
    auto s = locked_state();
    if (Device *d = find_device(s.state, device)) {
        d->events[index] = value;
    }
}

void remove_param(std::uint8_t device, std::uint8_t index) {
    auto s = locked_state();
    if (Device *d = find_device(s.state, device)) {
        d->params.erase(index);
    }
}

void remove_event(std::uint8_t device, std::uint8_t index) {
    auto s = locked_state();
    if (Device *d = find_device(s.state, device)) {
        d->events.erase(index);
    }
}

void set_plugged_products(const std::vector<int> &product_ids) {
    locked_state()->plugged_products = std::set<int>(product_ids.begin(), product_ids.end());
}

void set_latency_timer(unsigned char milliseconds, bool stuck) {
    auto s = locked_state();
    s->latency_timer = milliseconds;
    s->latency_stuck = stuck;
}

void fail_step(Step step, int count) {
    locked_state()->failing_steps[step] = count;
}

void fail_writes(int count, int reported, int after) {
    if (count > 0) {
        locked_state()->write_failures.push_back(
            WriteFailures{std::max(after, 0), count, reported});
    }
}

void lose_bytes(FrameKind kind, int count, int bytes) {
    auto s = locked_state();
    s->frames_losing_bytes[static_cast<int>(kind)] = count;
    s->bytes_lost[static_cast<int>(kind)] = bytes;
}

void delay_reads(int count) {
    locked_state()->delayed_reads = count;
}

void set_read_pieces(const std::vector<int> &sizes) {
    auto s = locked_state();
    s->read_pieces = sizes;
    s->next_piece = 0;
}

void corrupt_replies(ReplyFault fault, int count) {
    auto s = locked_state();
    s->reply_faults.insert(s->reply_faults.end(), static_cast<std::size_t>(std::max(count, 0)),
                           fault);
}

void queue_raw(FrameKind kind, const std::vector<std::uint8_t> &bytes) {
    locked_state()->raw_frames[static_cast<int>(kind)].push_back(bytes);
}

void refuse(std::uint8_t device, std::uint8_t op, std::uint8_t index) {
    locked_state()->refusals.insert({device, op, index});
}

void misstore(std::uint8_t device, std::uint8_t index, std::optional<std::uint32_t> stored) {
    locked_state()->misstores[{device, index}] = stored;
}

void set_silent(bool silent) {
    locked_state()->silent = silent;
}

void silence_after(int requests) {
    locked_state()->answers_before_silence = requests;
}

void unplug_after(int calls) {
    auto s = locked_state();
    s->calls_before_unplug = calls;
    s->unplugged = calls == 0;
}

std::vector<Call> calls() {
    return locked_state()->record;
}

std::vector<std::string> call_names() {
    const std::vector<Call> record = calls();
    std::vector<std::string> names;
    names.reserve(record.size());
    std::transform(record.begin(), record.end(), std::back_inserter(names),
                   [](const Call &call) { return call.name; });
    return names;
}

std::vector<std::vector<std::uint8_t>> written_frames() {
    std::vector<std::vector<std::uint8_t>> frames;
    for (const Call &call : calls()) {
        if (call.name == "ftdi_write_data") {
            frames.push_back(call.bytes);
        }
    }
    return frames;
}

std::vector<int> dtr_changes() {
    return locked_state()->dtr_record;
}

bool dtr_high() {
    return locked_state()->dtr;
}

int count_calls(const std::string &name) {
    const auto names = call_names();
    return static_cast<int>(std::count(names.begin(), names.end(), name));
}

void clear_record() {
    auto s = locked_state();
    s->record.clear();
    s->dtr_record.clear();
}

int live_contexts() {
    return static_cast<int>(locked_state()->contexts.size());
}

} // namespace sim
