#include "chair/item_transfer.h"
#include "link/exchanges.h"
#include "ui/veltora_motor.h"
#include "ui/window_texts.h"

int Veltora_Motor::load_events() {
    emit set_progressbar_maximum(
        static_cast<int>(panel_data->events.size() + drive_data->events.size()));
    emit set_progressbar_text(QString::fromUtf8(window_texts::loading_events));
    const std::function<void(int)> progress = [this](int done) {
        emit set_progressbar_value(done);
    };
    const auto read_from = [this](std::uint8_t device) {
        return [this, device](std::uint8_t index, std::uint8_t &stored) {
            std::uint32_t value = 0;
            const int result = read_event(cable, link_state, device, index, value);
            if (result == exchange_ok)
                stored = static_cast<std::uint8_t>(value & 0xFF);
            return result;
        };
    };
    int done = 0;
    int result = transfer_items(panel_data->events, done, progress, read_from(panel_address));
    if (result == exchange_ok)
        result = transfer_items(drive_data->events, done, progress, read_from(drive_address));
    if (result != exchange_ok)
        show_message(QStringLiteral("Falha ao carregar os eventos!"));
    reset_progress();
    return result;
}

// Only the drive's log is cleared; the panel's is kept as it is.
int Veltora_Motor::clear_events() {
    emit set_progressbar_maximum(static_cast<int>(drive_data->events.size()));
    emit set_progressbar_text(QString::fromUtf8(window_texts::clearing_events));
    const std::function<void(int)> progress = [this](int done) {
        emit set_progressbar_value(done);
    };
    int done = 0;
    const int result = transfer_items(
        drive_data->events, done, progress, [this](std::uint8_t index, std::uint8_t &stored) {
            const int cleared = clear_event(cable, link_state, drive_address, index);
            if (cleared == exchange_ok)
                stored = 0;
            return cleared;
        });
    if (result != exchange_ok)
        show_message(QStringLiteral("Falha ao limpar os eventos!"));
    reset_progress();
    return result;
}
