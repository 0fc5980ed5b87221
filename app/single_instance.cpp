#include "app/single_instance.h"

#include <QSharedMemory>

void release_orphaned_segment(const QString &key) {
    QSharedMemory probe(key);
    if (probe.attach(QSharedMemory::ReadOnly))
        probe.detach();
}
