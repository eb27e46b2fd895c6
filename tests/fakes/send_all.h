#pragma once
// Sending a whole buffer on a non-blocking socket, for tests and benchmarks.

#include <chrono>
#include <cstdint>
#include <vector>

#include "link/socket_io.h"

namespace fakes {

// Sends everything, waiting (5 s at most each time) for room.
inline bool SendAll(printerlink::SocketHandle socket, const std::vector<uint8_t>& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto step = printerlink::SendOnSocket(socket, bytes.data() + at, bytes.size() - at);
        if (step.error != 0) return false;
        if (step.wouldBlock && printerlink::WaitOnSocket(socket, true, std::chrono::seconds(5)) !=
                                   printerlink::SocketWait::Ready)
            return false;
        at += step.taken;
    }
    return true;
}

}  // namespace fakes
