#pragma once

#include "chair/device_data.h"
#include "chair/motor_profile.h"
#include "report/service_header.h"

#include <QDialog>
#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QString>
#include <QUuid>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

struct ftdi_context;
class QCloseEvent;
class QMessageBox;

namespace Ui {
class Veltora_Motor;
}

// The tool's one window. It owns all state: the form, the data read from the chair, the
// motorization profiles, the cable and the link to the chair, and the customer data. Long
// operations (jobs) run on a pool thread through run_job while the GUI thread keeps repainting.
class Veltora_Motor : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY(Veltora_Motor)

public:
    explicit Veltora_Motor(QWidget *parent = nullptr);
    ~Veltora_Motor() override;

signals:
    void set_progressbar_value(int value);
    void set_progressbar_maximum(int value);
    void set_progressbar_text(QString value);

protected:
    void closeEvent(QCloseEvent *event) override;
    // Escape must not end the dialog in the middle of a job any more than the close button.
    void reject() override;

private slots:
    void on_btn_connect_clicked();
    void on_btn_disconnect_clicked();
    void on_user_name_editingFinished();
    void on_user_email_editingFinished();
    void on_user_phone_editingFinished();
    void on_user_cpf_editingFinished();
    void on_user_cnpj_editingFinished();
    void on_user_cep_editingFinished();
    void on_radio_user_clicked();
    void on_radio_company_clicked();
    void on_btn_send_clicked();
    void on_combo_motor_currentIndexChanged(int index);

private:
    using Job = int (Veltora_Motor::*)();

    // Runs a job on the global thread pool while the GUI thread waits in job_loop.
    int run_job(Job job);

    // Jobs: 0 on success, otherwise a negative code the job has already shown to the user.
    int connect_chair();
    int disconnect_chair();
    int load_parameters();
    int send_parameters();
    int verify_parameters();
    int load_events();
    int clear_events();
    int send_report();

    // The result of verify_parameters when the drive does not hold a word it acknowledged.
    static constexpr int parameters_differ = -9;

    // The service's jobs in order; true when every one succeeded.
    bool run_service();
    // Writes, reads back and clears the drive: 0, or the result of the job that stopped.
    int change_drive();

    // Shows text in msg_box from any thread; returns when the user has closed it.
    void show_message(const QString &text);
    // Runs action on the GUI thread and returns once it has been carried out.
    void run_on_gui_thread(const std::function<void()> &action);
    // The unexpected-result stop: closes the cable and ends the process with status 1.
    void fatal_stop();
    void settle_link(int result, int state_on_success, const QString &no_answer_message);
    // Resets the progress area to idle after a job.
    void reset_progress();

    // Gives the window the largest font, up to the platform's, at which every text it can show
    // fits its widget.
    void fit_font_to_texts();
    bool every_text_fits() const;
    void set_point_size(qreal size);

    void show_connect_button();
    void show_disconnect_button();
    void enable_chair_boxes();
    void disable_chair_boxes();
    void clear_chair_info();
    // The look of a window whose chair is gone: Conectar offered, nothing of the chair shown.
    void show_chair_gone();

    void find_cable();
    void show_drive_identity();
    void fill_motor_list();
    void recognise_motorization();

    bool validate_name(const QString &text);
    bool validate_email(const QString &text);
    bool validate_phone(const QString &text);
    bool validate_cep(const QString &text);
    bool validate_cpf(const QString &text);
    bool validate_cnpj(const QString &text);
    bool validate_user_data();
    void apply_settings_identity();
    void load_user_data();

    std::unique_ptr<Ui::Veltora_Motor> ui;
    QMessageBox *msg_box = nullptr;
    QMessageBox *confirm_box = nullptr;
    std::unique_ptr<DeviceData> panel_data;
    std::unique_ptr<DeviceData> drive_data;
    std::array<std::unique_ptr<MotorProfile>, motor_profile_count> profile_tables;
    const MotorProfile *selected_profile = nullptr;
    std::int32_t link_state = 0;
    std::int32_t cable_product_id = 0xFFFF;
    ftdi_context *cable = nullptr;
    QFuture<int> job_future;
    QFutureWatcher<int> job_watcher;
    QEventLoop job_loop;
    bool busy = false;
    std::int8_t motor_index = -1;
    std::array<QString, 8> motor_names;
    QString customer_name;
    QString customer_email;
    QString customer_phone;
    QString customer_cpf;
    QString customer_cnpj;
    QString customer_cep;
    QString customer_type;
    // The run the service's reports belong to, and which of its reports send_report sends.
    QUuid service_run;
    ServiceStage report_stage = ServiceStage::before;
    // Where unacknowledged reports of a changed chair wait, and their resend begun at start.
    QString kept_folder;
    QFuture<void> kept_resend;
    // Set as the window goes, so that a resend still waiting for the server gives up.
    std::atomic<bool> closing{false};

    // Tests inspect the state the window keeps to itself.
    friend struct Veltora_Motor_TestAccess;
};
