#pragma once
// The soak's ledger: each job's verdict joined with what the simulator received. A lane sends
// to a printer of its own one job at a time, so its printer's connections come in the order of
// its attempts, one for each attempt whose connect went through (the simulator logs even those a
// restart reset before it took them); the marker lines and a firmware image's checksum confirm
// which job a connection carried.
//
// "Received" is what a printer can be held to over TCP: what it read plus what its stack
// acknowledged and held unread when the connection ended.

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "bench/chaos/soak_log.h"
#include "bench/chaos/soak_run.h"

namespace soak {

struct Ledger {
    uint64_t jobs = 0;
    std::map<std::string, uint64_t> jobsByKind;
    uint64_t done = 0;
    uint64_t completeOnce = 0;    // done, and complete in the simulator's log exactly once
    uint64_t doneHeldUnread = 0;  // done, the printer stalled after its stack took the last bytes
    uint64_t firmwareDone = 0;
    uint64_t firmwareChecksumOk = 0;  // of those, with the simulator's "checksum ok"
    uint64_t statusAnswered = 0;
    std::map<std::string, uint64_t> failedBy;  // cause -> count
    uint64_t failedWithoutCause = 0;
    uint64_t askedAfter = 0;  // status questions the windows' sender asked after a failure
    std::map<std::string, uint64_t> askedAfterBy;
    // The three that must be 0, and what they were.
    std::vector<std::string> falseDone;
    std::vector<std::string> lost;
    std::vector<std::string> duplicates;
    // Connections no attempt could own: the ledger could not prove anything about them.
    std::vector<std::string> unattributed;
    std::vector<std::string> oddities;  // what did not fit but is no fault of the sender
    uint64_t connections = 0;

    bool Clean() const {
        return falseDone.empty() && lost.empty() && duplicates.empty() && unattributed.empty() &&
               failedWithoutCause == 0;
    }
};

Ledger Reckon(const std::vector<Job>& jobs, const LaneResults& lanes, const SimLog& log);

void PrintLedger(const Ledger& ledger, std::ostream& out);
// Every attempt of every lane, one a line, in order: to look into the ledger's joins.
void PrintAttempts(const LaneResults& lanes, std::ostream& out);

}  // namespace soak
