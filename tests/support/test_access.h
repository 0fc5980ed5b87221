#pragma once

#include "ui/veltora_motor.h"

#include <QString>

// The window keeps its state to itself; tests read and prepare it through here.
struct Veltora_Motor_TestAccess {
    using Job = Veltora_Motor::Job;

    static int run_job(Veltora_Motor &w, Job job) { return w.run_job(job); }
    static Job connect_chair() { return &Veltora_Motor::connect_chair; }
    static Job disconnect_chair() { return &Veltora_Motor::disconnect_chair; }
    static Job load_parameters() { return &Veltora_Motor::load_parameters; }
    static Job send_parameters() { return &Veltora_Motor::send_parameters; }
    static Job load_events() { return &Veltora_Motor::load_events; }
    static Job clear_events() { return &Veltora_Motor::clear_events; }
    static Job send_report() { return &Veltora_Motor::send_report; }

    static bool busy(const Veltora_Motor &w) { return w.busy; }
    static int link_state(const Veltora_Motor &w) { return w.link_state; }
    static void set_link_state(Veltora_Motor &w, int state) { w.link_state = state; }
    static int cable_product_id(const Veltora_Motor &w) { return w.cable_product_id; }
    static void find_cable(Veltora_Motor &w) { w.find_cable(); }

    static DeviceData &panel_data(Veltora_Motor &w) { return *w.panel_data; }
    static DeviceData &drive_data(Veltora_Motor &w) { return *w.drive_data; }
    static const MotorProfile *selected_profile(const Veltora_Motor &w) {
        return w.selected_profile;
    }
    static const MotorProfile *profile(const Veltora_Motor &w, int number) {
        return w.profile_tables.at(static_cast<std::size_t>(number)).get();
    }

    static QString customer_name(const Veltora_Motor &w) { return w.customer_name; }
    static QString customer_email(const Veltora_Motor &w) { return w.customer_email; }
    static QString customer_phone(const Veltora_Motor &w) { return w.customer_phone; }
    static QString customer_cpf(const Veltora_Motor &w) { return w.customer_cpf; }
    static QString customer_cnpj(const Veltora_Motor &w) { return w.customer_cnpj; }
    static QString customer_cep(const Veltora_Motor &w) { return w.customer_cep; }
    static QString customer_type(const Veltora_Motor &w) { return w.customer_type; }
    static bool validate_user_data(Veltora_Motor &w) { return w.validate_user_data(); }
};
