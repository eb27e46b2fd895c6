#pragma once
// The serial-port list: Linux /dev/ttyS%d, /dev/ttyUSB%d, /dev/ttyACM%d, Windows COM%d (from 10
// on \\.\COM%d), for 0..127; a port is listed when it opens read-write exclusively (Linux: with
// flock + TIOCEXCL).

#include <string>
#include <thread>
#include <vector>

#include "link/device_io.h"
#include "link/port_choice.h"

namespace printerlink {

struct SerialProbeConfig {
    std::vector<std::string> patterns = SystemSerialPatterns();
    int first = 0;
    int last = 127;
};

// Probes every name of the config in order and returns the free ones.
std::vector<std::string> ListFreeSerialPorts(const SerialProbeConfig& config = {});

// Runs once: resets the list, adds every free port, ends. The returned thread must be joined or
// detached by the caller.
std::thread StartComPortProbeThread(SerialListSink sink, SerialProbeConfig config = {});

}  // namespace printerlink
