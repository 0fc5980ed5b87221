#include "app/application.h"

#include "app/single_instance.h"
#include "ui/fatal_stop.h"
#include "ui/veltora_motor.h"

#include <QApplication>
#include <QMessageBox>
#include <QSharedMemory>

#include <memory>

int run_application(int argc, char *argv[]) {
    QApplication app(argc, argv);
    int status = 0;
    {
        const QString key = QStringLiteral("Veltora Zazurad - Motor");
        release_orphaned_segment(key);
        QSharedMemory lock(key);
        if (!lock.create(512, QSharedMemory::ReadWrite)) {
            QMessageBox::critical(nullptr, QStringLiteral("Veltora Zazurad - Motorização"),
                                  QStringLiteral("Não é possível abrir mais de uma instância da "
                                                 "aplicação!"),
                                  QMessageBox::Ok, QMessageBox::NoButton);
            return 0;
        }
        auto window = std::make_unique<Veltora_Motor>();
        window->show();
        status = QApplication::exec();
        window.reset();
    }
    return fatal_stop_recorded() ? 1 : status;
}
