#include "report/report_wait.h"

#include <atomic>

namespace {

// Atomic because the job reads it on a pool thread.
std::atomic<int> answer_wait_ms{report_answer_wait_default_ms};

} // namespace

int report_answer_wait_ms() {
    return answer_wait_ms.load();
}

int replace_report_answer_wait(int ms) {
    return answer_wait_ms.exchange(ms > 0 ? ms : report_answer_wait_default_ms);
}
