#include "ui/veltora_motor.h"

#include <QtConcurrent>

int Veltora_Motor::run_job(Job job) {
    busy = true;
    job_future = QtConcurrent::run(this, job);
    connect(&job_watcher, &QFutureWatcher<int>::finished, &job_loop, &QEventLoop::quit);
    // A job that finished before this call still has finished() emitted once the loop runs.
    job_watcher.setFuture(job_future);
    job_loop.exec(QEventLoop::AllEvents);
    busy = false;
    return job_future.result();
}
