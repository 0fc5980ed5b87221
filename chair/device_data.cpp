#include "chair/device_data.h"

namespace {

void add_events(DeviceData &data, int first, int last) {
    for (int index = first; index <= last; ++index)
        data.events[static_cast<std::uint8_t>(index)] = 0;
}

void add_params(DeviceData &data) {
    for (int index = 0x01; index <= 0x2C; ++index)
        data.params[static_cast<std::uint8_t>(index)] = 0;
}

} // namespace

DeviceData make_panel_data() {
    DeviceData data;
    add_events(data, 0x01, 0x14);
    add_events(data, 0x21, 0x22);
    add_params(data);
    return data;
}

DeviceData make_drive_data() {
    DeviceData data;
    add_events(data, 0x01, 0x16);
    add_events(data, 0x21, 0x25);
    add_events(data, 0x31, 0x33);
    add_params(data);
    return data;
}

std::uint32_t param_or_zero(const DeviceData &data, std::uint8_t index) {
    const auto found = data.params.find(index);
    return found == data.params.end() ? 0 : found->second;
}
