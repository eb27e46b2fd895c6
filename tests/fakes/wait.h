#pragma once
// Bounded waiting for test conditions.

#include <chrono>
#include <functional>

namespace fakes {

// Checks `condition` every millisecond or so until it holds (true) or `timeout` passed (false).
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace fakes
