#pragma once
// What the server's files (sim_server, sim_streams, sim_discovery) share: the stream being read
// and the texts of endpoints. Not for use elsewhere.

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "link/socket_io.h"
#include "sim/chaos/stream_fault.h"
#include "sim/lpd/lpd_exchange.h"
#include "sim/print_job.h"
#include "sim/realtime_scanner.h"
#include "sim/sim_server.h"

namespace sim {

using Clock = std::chrono::steady_clock;

// Roles of the descriptors Run waits on: the TCP listeners of up to kMaxPrinters, their LPD
// listeners, then the streams.
constexpr int kLpdRole = 500;
constexpr int kStreamRole = 1000;
static_assert(kLpdRole >= kMaxPrinters && kStreamRole >= kLpdRole + kMaxPrinters);

std::string EndpointText(const printerlink::SocketAddress& a);
std::string ListenFailure(const netcfg::Ipv4Octets& address, uint16_t port, int error);

// A job given to Print, waiting or printing.
struct SimServer::QueuedJob {
    PrintRequest request;
    std::promise<JobResult> promise;
    JobResult result;
    std::size_t fed = 0;  // bytes given to the decoder so far
};

// A byte stream being read: a TCP or LPD connection, the pseudo-terminal, or a job given to Print.
struct SimServer::Stream {
    printerlink::SocketHandle fd = printerlink::kNoSocket;
    bool terminal = false;  // the pseudo-terminal, not a socket
    int printer = 1;
    std::string link;
    uint64_t connection = 0;
    uint64_t received = 0;
    bool stalled = false;
    bool unflushed = false;  // bytes fed since the last flush
    Clock::time_point lastData{};
    Clock::time_point nextRead{};  // --slow, a stall: not before
    bool jobEnding = false;        // serial side: a tool closed the port; end when all is read
    bool finished = false;         // nothing more to read or print: removed at the turn's end
    // Bytes received while the printer could not print, in order, at most kReceiveBuffer; a
    // stream whose side closed meanwhile (`closed`) ends its job once they are printed.
    std::vector<uint8_t> held;
    bool closed = false;
    bool fullSaid = false;  // the full buffer was logged
    // Real-time requests in held bytes are answered on arrival: those that end at or before this
    // offset of the decoder's stream are not answered again when printed.
    RealtimeScanner scanner;
    uint64_t answeredUpTo = 0;
    // Automatic status back: the items GS a enabled (0: off) and the four bytes last sent.
    uint8_t asb = 0;
    commands::AutomaticStatus asbSent{};
    // The fault drawn (--chaos) for the connection, or the serial side's current session.
    chaos::StreamFault fault;
    bool faultDrawn = false;
    std::shared_ptr<QueuedJob> queued;  // a job given to Print
    std::unique_ptr<PrintJob> job;      // its decoder and paper
    // An LPD connection: its exchange; the job's name (its receipts' `job`); a data file's job
    // not yet ended (its last receipt waits for the control file's job name, or the next file).
    std::unique_ptr<lpd::Exchange> lpd;
    std::string jobName;
    bool lpdJobOpen = false;
    // Its paper as last shown to the watchers: after so many bytes, when, and whether it showed
    // paper (so its end is shown once).
    uint64_t paperFed = 0;
    Clock::time_point paperShown{};
    bool paperShowing = false;
};

}  // namespace sim
