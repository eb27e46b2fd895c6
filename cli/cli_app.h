#pragma once
// tessary-cli's subcommands over the shared cores. The program's main only supplies the real
// environment; tests run the same code with loopback endpoints and a scripted USB backend.

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <span>
#include <string>

#include "cli/printer_port.h"
#include "link/serial_ports.h"
#include "updater/net_download.h"

namespace printerlink {
class UsbBackend;
}

namespace cli {

// Exit statuses.
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;  // port, printer or file
inline constexpr int kUsage = 2;
// 3 (the printer answered but is not ready) is status's own.

struct CliEnvironment {
    // Made when a subcommand needs USB (the program: libusb).
    std::function<std::shared_ptr<printerlink::UsbBackend>()> usb;
    printerlink::SerialProbeConfig serialProbe;
    std::string lptPath = kDefaultLptPath;
    std::chrono::milliseconds connectTimeout{3000};
    unsigned usbPieceTimeoutMs = 1000;
    std::chrono::milliseconds statusTimeout{1000};  // the wait for each status answer
    updater::NetPacing netPacing;
    // Where discovery requests and address-set packets go unless --broadcast says otherwise.
    std::string broadcast = "255.255.255.255:9000";
    std::chrono::milliseconds discoveryInterval{1000};
    // fleet: between the requests that look for moved printers at their new addresses
    std::chrono::milliseconds verifyInterval{200};
    bool stderrIsTerminal = false;
    std::function<int64_t()> now;  // seconds since the epoch; empty: the system clock
    std::istream* in = nullptr;    // `--file -`
};

// Runs one command line (without the program name); returns the exit status.
int RunCli(std::span<const std::string> arguments, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment);

}  // namespace cli
