#include "server/receiver/health_check.h"

#include "server/store/report_store.h"

void answer_health(ReportStore &store, HttpResponse &response) {
    response.access_logged = false;
    if (store.answers_within(std::chrono::seconds(1)) == 0) {
        response.body = "OK\n";
        return;
    }
    response.status = 503;
    response.body = "ERROR: the store does not answer\n";
    response.cause = "health check: " + store.failure();
}
