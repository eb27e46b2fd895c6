#pragma once
// What the server's files (sim_server, sim_streams, sim_discovery) share: the stream being read
// and the texts of endpoints. Not for use elsewhere.

#include <chrono>
#include <memory>
#include <string>

#include "link/socket_io.h"
#include "sim/paper/paper.h"
#include "sim/sim_server.h"

namespace sim {

using Clock = std::chrono::steady_clock;

// Roles of the descriptors Run waits on: streams follow the listeners of up to kMaxPrinters.
constexpr int kStreamRole = 1000;
static_assert(kStreamRole > kMaxPrinters);

std::string EndpointText(const printerlink::SocketAddress& a);
std::string ListenFailure(const netcfg::Ipv4Octets& address, uint16_t port, int error);

// A byte stream being read: a TCP connection or the pseudo-terminal.
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
    Clock::time_point nextRead{};  // --slow: not before
    bool jobEnding = false;        // serial side: a tool closed the port; end when all is read
    // The paper comes before the decoder that feeds it, so it outlives the decoder.
    std::unique_ptr<paper::Paper> paper;
    std::unique_ptr<StreamDecoder> decoder;
};

}  // namespace sim
