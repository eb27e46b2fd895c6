#pragma once
// Wall clock in whole seconds since 1970-01-01 UTC, replaceable in tests.

#include <atomic>
#include <cstdint>

namespace platform {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual int64_t SecondsSinceEpoch() const = 0;
};

class SystemClock final : public Clock {
  public:
    int64_t SecondsSinceEpoch() const override;
};

class ManualClock final : public Clock {
  public:
    explicit ManualClock(int64_t seconds = 0) : seconds_(seconds) {}
    int64_t SecondsSinceEpoch() const override { return seconds_.load(); }
    void Set(int64_t seconds) { seconds_.store(seconds); }

  private:
    std::atomic<int64_t> seconds_;
};

}  // namespace platform
