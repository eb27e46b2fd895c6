#include <winsock2.h>

#include "sim/console/listen_socket.h"

namespace sim::console {

void SetListenOptions(printerlink::SocketHandle socket) {
    // Nobody else may share the port (SO_REUSEADDR on Windows would let another program take it).
    const BOOL on = TRUE;
    ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&on), sizeof on);
}

std::chrono::milliseconds AcceptPollInterval() {
    return std::chrono::seconds(1);
}

void IgnoreBrokenPipes() {}  // Windows has no such signal

}  // namespace sim::console
