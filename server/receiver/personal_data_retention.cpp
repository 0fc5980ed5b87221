#include "server/receiver/personal_data_retention.h"

#include "server/store/personal_data.h"
#include "server/text/utc_time.h"

PersonalDataRetention::PersonalDataRetention(ReportStore &store, int days, std::FILE *error_log)
    : store_(store), kept_(24 * days), error_log_(error_log), thread_([this] {
          std::unique_lock<std::mutex> lock(mutex_);
          while (!stopping_) {
              lock.unlock();
              sweep();
              lock.lock();
              woken_.wait_for(lock, std::chrono::hours(24), [this] { return stopping_; });
          }
      }) {}

PersonalDataRetention::~PersonalDataRetention() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    woken_.notify_all();
    thread_.join();
}

void PersonalDataRetention::sweep() {
    const std::string before = utc_iso8601(std::chrono::system_clock::now() - kept_);
    const AuditEntry entry{"retencao", "", "anonimizacao", "", ""};
    const int result = store_.keep([&](SqlConnection &connection) {
        return anonymize_received_before(connection, before, entry) < 0 ? receiver_failed : 0;
    });
    if (result != 0 && error_log_ != nullptr)
        std::fprintf(error_log_, "report-receiver: retention: personal data not anonymized: %s\n",
                     store_.failure().c_str());
}
