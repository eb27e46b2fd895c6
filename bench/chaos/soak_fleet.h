#pragma once
// The fleet under chaos: `tessary-cli fleet` moves the printers of a simulator whose discovery
// answers are dropped, doubled or late (and whose printers restart late and break connections),
// run twice as a shop would after failures. Every row must end moved, unchanged or failed with
// its cause, and no two printers may ever answer at one address.

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "bench/chaos/soak_log.h"

namespace soak {

struct FleetRun {
    int status = 0;                       // tessary-cli's
    std::map<std::string, int> results;   // moved, unchanged, missing, refused, failed
    std::map<std::string, int> failedBy;  // the cause of a failed row, in a few words
    std::vector<std::string> problems;    // rows without a result or a failure without a cause
    double seconds = 0;
};

struct FleetSoak {
    int printers = 0;
    std::vector<FleetRun> runs;
    uint64_t sharedAddresses = 0;  // times two printers answered at one address: must be 0
    SimSummary faults;
    bool simEnded = false;
    std::string error;  // the simulator did not start

    bool Clean() const;
};

FleetSoak RunFleetSoak(const std::string& simProgram, uint64_t seed, uint32_t rate, int printers);

void PrintFleet(const FleetSoak& fleet, std::ostream& out);

// "reset 3, stall 2, ..." from the simulator's summary (kinds that happened).
std::string FaultsText(const SimSummary& summary);

}  // namespace soak
