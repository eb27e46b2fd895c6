#pragma once
// Wall clock in whole seconds since 1970-01-01 UTC, replaceable in tests
// (tests/fakes/manual_clock.h).

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

}  // namespace platform
