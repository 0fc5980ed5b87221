#pragma once

#include "ui/veltora_motor.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QVector>

// Records what the window's progress signals deliver, on the thread they are delivered to, as the
// progress bar and its label receive them.
class ProgressLog : public QObject {
public:
    explicit ProgressLog(Veltora_Motor &window) {
        connect(&window, &Veltora_Motor::set_progressbar_value, this,
                [this](int value) { record(values, value); });
        connect(&window, &Veltora_Motor::set_progressbar_maximum, this,
                [this](int value) { record(maximums, value); });
        connect(&window, &Veltora_Motor::set_progressbar_text, this, [this](const QString &text) {
            texts.append(text);
            check_thread();
        });
    }

    QVector<int> values;
    QVector<int> maximums;
    QStringList texts;
    bool all_on_gui_thread = true;

private:
    void record(QVector<int> &list, int value) {
        list.append(value);
        check_thread();
    }
    void check_thread() { all_on_gui_thread &= QThread::currentThread() == thread(); }
};
