#pragma once

#include <vector>

// While it lives, the link's waits are recorded instead of slept, so a test can assert the
// protocol's pauses without spending them. Restores the real sleep when destroyed. One at a time.
class RecordedSleep {
public:
    RecordedSleep();
    ~RecordedSleep();
    RecordedSleep(const RecordedSleep &) = delete;
    RecordedSleep &operator=(const RecordedSleep &) = delete;

    // The waits asked for so far, in milliseconds, in order; safe against a sleeping job thread.
    std::vector<unsigned> waits() const;
    unsigned total() const;
    void clear();
};
