#include "platform/clock.h"

#include <chrono>

namespace platform {

int64_t SystemClock::SecondsSinceEpoch() const {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace platform
