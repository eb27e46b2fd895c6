#pragma once
// pos-printer-sim's command line.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "commands/printer_info.h"
#include "netcfg/address_set.h"
#include "sim/chaos/chaos_plan.h"
#include "sim/printer_status.h"
#include "sim/virtual_printer.h"

namespace sim {

inline constexpr int kMaxPrinters = 250;  // a fleet: the last octets of one /24 network
inline constexpr int kDefaultReceiveBuffer = 4096;

// Names of the virtual printer, never of a real maker; the serial number empty (from the MAC).
commands::PrinterIdentity DefaultIdentity();

// Where the console listens (--http).
struct ConsoleAddress {
    netcfg::Ipv4Octets address{127, 0, 0, 1};  // this computer only, unless another is given
    uint16_t port = 0;                         // 0: a free one
};

struct SimOptions {
    std::optional<uint16_t> tcpPort = 9100;  // nullopt: no TCP listener; 0: any free port
    std::optional<uint16_t> udpPort = 9000;  // nullopt: no discovery answers; 0: any free port
    // LPR jobs (the line printer daemon's port, 515 on a printer); nullopt: none; 0: a free port.
    std::optional<uint16_t> lpdPort;
    uint16_t replyPort = 8999;  // replies go to this port of the asker
    int printers = 1;
    // Printer i (from 0) has the address's last octet and the MAC's last byte raised by i.
    PrinterSettings first;
    // An address-set packet restarts its printer: silent this long, then at its new address.
    std::chrono::milliseconds restart{1000};
    std::vector<netcfg::MacBytes> deaf;       // printers that ignore address-set packets
    netcfg::Ipv4Octets listen{127, 0, 0, 1};  // where discovery requests are heard
    bool serial = false;                      // also read a pseudo-terminal, as printer 1
    std::optional<uint64_t> resetAfter;       // reset a TCP connection after this many bytes
    std::optional<uint64_t> stallAfter;       // stop reading a connection after this many bytes
    bool noReply = false;                     // silent to discovery requests
    uint64_t slowBytesPerSecond = 0;          // 0: read as fast as bytes come
    // Faults drawn at random, repeatably from a seed, for every connection, serial session and
    // discovery datagram (none without).
    std::optional<chaos::ChaosSetting> chaos;
    bool json = false;  // JSON lines instead of text lines
    // Receive buffer of each TCP connection: small, as a printer's, so a printer that stops
    // reading stops acknowledging soon after (the system may round it up).
    int receiveBuffer = kDefaultReceiveBuffer;
    // Every printer's status at start; the console changes it while they run.
    PrinterStatus status;
    bool noStatus = false;  // never answers status requests, as printers without them
    // What GS I answers (the first printer's serial number; see IdentityOf).
    commands::PrinterIdentity identity = DefaultIdentity();
    // The paper: each receipt printed becomes a picture in this folder (empty: no pictures).
    std::string receipts;
    std::string fonts;     // a folder of the printer's font files, looked in first (empty: none)
    int paperWidth = 576;  // dots: 80 mm paper (576) or 58 mm (384), at 203 dpi
    // The console (a page and a JSON API over HTTP); without --receipts, the receipts go to a
    // temporary folder of their own.
    std::optional<ConsoleAddress> http;
};

struct ParsedOptions {
    SimOptions options;
    bool help = false;
    std::string error;  // non-empty: a usage error
    // Render mode ("render" first): the captured jobs to draw, "-" for standard input; the
    // receipts go to options.receipts ("." unless given).
    bool render = false;
    std::vector<std::string> files;
};

// Arguments after the program name; "--name value" and "--name=value". Render mode takes
// --paper-width, --receipts, --json and files ("--" ends the options).
ParsedOptions ParseSimOptions(std::span<const std::string> arguments);
std::string SimUsage();

// Printer i's settings.
PrinterSettings PrinterAt(const SimOptions& options, int index);
// Printer i's identity: the options' with its serial number, "SIM" and its MAC's twelve hex
// digits by default, or --serial-number followed by "-i" for printer i > 1.
commands::PrinterIdentity IdentityOf(const SimOptions& options, int index);

}  // namespace sim
