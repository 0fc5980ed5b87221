#include "app/modal_answerer.h"

#include <QAbstractButton>
#include <QApplication>

ModalAnswerer::ModalAnswerer(QObject *parent) : QObject(parent) {
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::answer_active_box);
    timer_.start(5);
}

void ModalAnswerer::answer_active_box() {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible())
        return;
    texts_.append(box->text());
    if (on_box_)
        on_box_(box);
    QAbstractButton *button = box->button(QMessageBox::Ok);
    if (button == nullptr)
        button = box->escapeButton();
    if (button != nullptr)
        button->click();
    else
        box->reject();
}
