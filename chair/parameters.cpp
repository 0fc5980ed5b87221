#include "chair/device_identity.h"
#include "chair/item_transfer.h"
#include "link/exchanges.h"
#include "ui/veltora_motor.h"
#include "ui/window_texts.h"
#include "ui_veltora_motor.h"

int Veltora_Motor::load_parameters() {
    emit set_progressbar_maximum(
        static_cast<int>(panel_data->params.size() + drive_data->params.size()));
    emit set_progressbar_text(QString::fromUtf8(window_texts::loading_parameters));
    const std::function<void(int)> progress = [this](int done) {
        emit set_progressbar_value(done);
    };
    const auto read_from = [this](std::uint8_t device) {
        return [this, device](std::uint8_t index, std::uint32_t &stored) {
            return read_parameter(cable, link_state, device, index, stored);
        };
    };
    int done = 0;
    int result = transfer_items(panel_data->params, done, progress, read_from(panel_address));
    if (result == exchange_ok)
        result = transfer_items(drive_data->params, done, progress, read_from(drive_address));
    if (result != exchange_ok)
        show_message(QStringLiteral("Falha ao carregar os parâmetros!"));
    reset_progress();
    return result;
}

int Veltora_Motor::send_parameters() {
    emit set_progressbar_maximum(static_cast<int>(selected_profile->size()));
    emit set_progressbar_text(QString::fromUtf8(window_texts::sending_parameters));
    const std::function<void(int)> progress = [this](int done) {
        emit set_progressbar_value(done);
    };
    int done = 0;
    const int result = transfer_items(
        *selected_profile, done, progress, [this](std::uint8_t index, const ParamWord &word) {
            const int written =
                write_parameter(cable, link_state, drive_address, index, word.word());
            if (written == exchange_ok)
                drive_data->params[index] = word.word();
            return written;
        });
    if (result != exchange_ok)
        show_message(QStringLiteral("Falha ao enviar os parâmetros!"));
    reset_progress();
    return result;
}

// A drive may acknowledge a write and keep another word. Every profile entry is read back: the
// drive's copy takes the word read, and the job fails, once all are read, when any differs from
// what the write left there.
int Veltora_Motor::verify_parameters() {
    emit set_progressbar_maximum(static_cast<int>(selected_profile->size()));
    emit set_progressbar_text(QString::fromUtf8(window_texts::verifying_parameters));
    const std::function<void(int)> progress = [this](int done) {
        emit set_progressbar_value(done);
    };
    int done = 0;
    bool all_held = true;
    const auto read_back = [this, &all_held](std::uint8_t index, const ParamWord &) {
        std::uint32_t held = 0;
        const int read = read_parameter(cable, link_state, drive_address, index, held);
        if (read == exchange_ok) {
            all_held = all_held && held == drive_data->params[index];
            drive_data->params[index] = held;
        }
        return read;
    };
    int result = transfer_items(*selected_profile, done, progress, read_back);
    if (result == exchange_ok && !all_held)
        result = parameters_differ;
    // The window shows what the drive holds once it has all been read.
    if (result == exchange_ok || result == parameters_differ)
        run_on_gui_thread([this] { show_drive_identity(); });
    if (result == parameters_differ)
        show_message(QStringLiteral("Falha ao conferir os parâmetros gravados!"));
    else if (result != exchange_ok)
        show_message(QStringLiteral("Falha ao carregar os parâmetros!"));
    reset_progress();
    return result;
}

void Veltora_Motor::show_drive_identity() {
    const QString serial = serial_text(*drive_data);
    ui->info_serial->setText(
        serial_is_valid(serial) ? serial : QString::fromUtf8(window_texts::invalid_serial));
    ui->info_versions->setText(version_text(param_or_zero(*drive_data, 5)) + QStringLiteral(" / ") +
                               version_text(param_or_zero(*drive_data, 4)));
    recognise_motorization();
}
