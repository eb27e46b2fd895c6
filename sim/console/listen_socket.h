#pragma once
// The console's listening socket, set up so that no other program (or a second simulator) can
// listen on its port at the same time, and a restarted simulator can listen at once again; and
// what the program must not die of while it serves.

#include <chrono>

#include "link/socket_io.h"

namespace sim::console {

void SetListenOptions(printerlink::SocketHandle socket);

// How often the HTTP library's accept loop wakes to see whether it should stop: never on POSIX
// (closing the socket ends its wait in accept), 1 s on Windows, where it waits in select and a
// wait of 0 would spin.
std::chrono::milliseconds AcceptPollInterval();

// A page that goes while its answer is written must not end the program: the HTTP library's
// writes would raise SIGPIPE on POSIX, which is ignored from then on (nothing on Windows).
void IgnoreBrokenPipes();

}  // namespace sim::console
