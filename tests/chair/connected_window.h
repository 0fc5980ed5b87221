#pragma once

#include "modal_answerer.h"
#include "recorded_sleep.h"
#include "sim/sim_chair.h"
#include "test_access.h"
#include "ui/veltora_motor.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <memory>

using Access = Veltora_Motor_TestAccess;

// A fresh window on the default simulated chair, its boxes answered with Ok and its waits recorded.
struct ChairWindow {
    ChairWindow() {
        sim::reset();
        window = std::make_unique<Veltora_Motor>();
        window->show();
    }
    ~ChairWindow() {
        // Leave the chair connected or not as the test left it, without the destructor's messages
        // reaching a closed answerer.
        window.reset();
        sim::reset();
    }
    ChairWindow(const ChairWindow &) = delete;
    ChairWindow &operator=(const ChairWindow &) = delete;

    template <typename T> T *widget(const char *name) const {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    QString label(const char *name) const { return widget<QLabel>(name)->text(); }
    void click(const char *name) const { widget<QPushButton>(name)->click(); }
    void connect_chair() const { click("btn_connect"); }
    bool looks_connected() const {
        return widget<QPushButton>("btn_disconnect")->isVisible() &&
               !widget<QPushButton>("btn_connect")->isVisible() &&
               widget<QGroupBox>("box_info")->isEnabled() &&
               widget<QGroupBox>("box_motor")->isEnabled();
    }
    bool looks_disconnected() const {
        return !widget<QPushButton>("btn_disconnect")->isVisible() &&
               widget<QPushButton>("btn_connect")->isVisible() &&
               !widget<QGroupBox>("box_info")->isEnabled() &&
               !widget<QGroupBox>("box_motor")->isEnabled();
    }

    RecordedSleep sleep;
    ModalAnswerer answerer;
    std::unique_ptr<Veltora_Motor> window;
};
