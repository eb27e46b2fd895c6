#pragma once
// `tessary-cli fleet PLAN.csv`: sets up every printer of a plan. The plan is checked whole; one
// discovery round finds the printers; the moves go out step by step as address-set packets (all
// of a step at once) and each is verified by the printer answering discovery at its new address;
// then, side by side, one TCP connection per printer carries its setting frames and test page and
// proves it listens there. One line per printer as it finishes, then a summary.

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "cli/fleet_plan.h"
#include "cli/network.h"
#include "cli/printer_port.h"

namespace cli {

struct FleetJob {
    std::string planText;
    DiscoveryEndpoints endpoints;  // the discovery round asks once per endpoints.interval
    std::chrono::milliseconds discoverFor{3000};
    // How long a moved printer has to answer at its new address, asked once per verifyInterval.
    std::chrono::milliseconds restartTimeout{20000};
    std::chrono::milliseconds verifyInterval{200};
    uint16_t tcpPort = kDefaultTcpPort;
    unsigned jobs = 8;  // TCP connections at once
    bool json = false;
    bool dryRun = false;  // discover, then print what would be sent, as hex
    OrderInputs order;
    LinkSettings link;
    BuildContext build;
};

// Runs the plan; the exit status: 0 every row moved or unchanged, 1 otherwise, 2 a bad plan
// (every error on `err` with its line; nothing sent).
int RunFleet(const FleetJob& job, std::ostream& out, std::ostream& err);

}  // namespace cli
