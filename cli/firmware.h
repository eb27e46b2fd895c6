#pragma once
// `tessary-cli firmware`: any image file as Brindel's download stream over USB or TCP, or the
// character-data file as its record stream over USB, with a progress bar and a final line.

#include <cstdint>
#include <ostream>
#include <string>

#include "cli/printer_port.h"
#include "updater/net_download.h"

namespace cli {

struct FirmwareJob {
    std::string file;
    bool characterData = false;  // --gb2312: the character-data records instead of an image
    bool net = false;            // else USB
    Ipv4 ip{};
    uint16_t port = kDefaultTcpPort;
    bool dryRun = false;  // every write as a hex line on `out` instead
};

struct FirmwareIo {
    std::ostream& out;
    std::ostream& err;
    bool progressBar = false;  // stderr is a terminal
    LinkSettings link;
    updater::NetPacing pacing;  // the network download's pauses and time-outs
};

// Runs the download; 0 when every byte left, 1 on a file, port or printer failure.
int RunFirmware(const FirmwareJob& job, FirmwareIo& io);

}  // namespace cli
