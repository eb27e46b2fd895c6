#include <sys/socket.h>

#include <csignal>

#include "sim/console/listen_socket.h"

namespace sim::console {

void SetListenOptions(printerlink::SocketHandle socket) {
    // Only SO_REUSEADDR (a port left in TIME_WAIT is taken again); never SO_REUSEPORT, with which
    // a second listener would share the port.
    const int on = 1;
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

std::chrono::milliseconds AcceptPollInterval() {
    return std::chrono::milliseconds(0);
}

void IgnoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace sim::console
