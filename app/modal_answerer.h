#pragma once

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the modal message boxes the window opens, as a user would: it polls for the active
// modal widget, records the box's text and presses Ok (or the escape button when a box has no Ok).
class ModalAnswerer : public QObject {
    Q_OBJECT

public:
    explicit ModalAnswerer(QObject *parent = nullptr);

    // Called with each box before it is answered, while the window still waits for it.
    void on_box(std::function<void(QMessageBox *)> callback) { on_box_ = std::move(callback); }

    QStringList texts() const { return texts_; }

private:
    void answer_active_box();

    QTimer timer_;
    QStringList texts_;
    std::function<void(QMessageBox *)> on_box_;
};
