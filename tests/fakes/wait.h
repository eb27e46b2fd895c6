#pragma once
// Bounded waiting for test conditions.

#include <chrono>
#include <functional>

namespace fakes {

// Checks `condition` every `pause` (a millisecond or so) until it holds (true) or `timeout`
// passed (false).
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds pause = std::chrono::milliseconds(1));

}  // namespace fakes
