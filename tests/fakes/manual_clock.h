#pragma once
// A clock the test sets.

#include <atomic>

#include "platform/clock.h"

namespace fakes {

class ManualClock final : public platform::Clock {
  public:
    explicit ManualClock(int64_t seconds = 0) : seconds_(seconds) {}
    int64_t SecondsSinceEpoch() const override { return seconds_.load(); }
    void Set(int64_t seconds) { seconds_.store(seconds); }

  private:
    std::atomic<int64_t> seconds_;
};

}  // namespace fakes
