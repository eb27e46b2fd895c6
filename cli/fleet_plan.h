#pragma once
// The fleet plan of `tessary-cli fleet`: a CSV file naming, per printer (by MAC), its address,
// mask and gateway and the settings it gets. Read and checked whole before anything is sent;
// then, against what discovery found, each row's fate and the order of the moves: steps of
// address-set packets sent at once, so that no printer is told an address another printer still
// answers at. No sockets here: the fleet run (cli/fleet.h) drives this.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/send_names.h"
#include "cli/text_args.h"
#include "netcfg/device_table.h"

namespace cli {

// A setting column's cell: the `send` NAME, its value and the frame it sends.
struct PlanSetting {
    std::string name;
    std::string value;
    std::vector<uint8_t> frame;
};

struct PlanRow {
    int line = 0;  // in the file, from 1
    Mac mac{};
    Ipv4 ip{}, mask{}, gateway{};
    std::vector<PlanSetting> settings;  // the non-empty setting cells, left to right
    bool testPage = false;              // column `test` says yes
};

struct PlanError {
    int line = 0;
    std::string text;
};

struct Plan {
    std::vector<PlanRow> rows;
    std::vector<PlanError> errors;  // in line order; any error: the plan is not run
};

// Reads and checks the whole plan. `context` builds the setting frames.
Plan ReadPlan(std::string_view text, const BuildContext& context);
// "line 3: bad MAC '00:11'..."
std::string PlanErrorLine(const PlanError& error);

// "192.168.1.0/24" for an address and its mask.
std::string SubnetText(const Ipv4& address, const Ipv4& mask);

// ---- The order of the moves

enum class Fate {
    Missing,    // no printer with its MAC answered
    Unchanged,  // already at the plan's address, mask and gateway: no packet
    Refused,    // its address is held by a printer the plan does not move away, or no way to
                // move it without two printers at one address
    Move,
};

// One address-set packet of a step.
struct PlannedMove {
    std::size_t row = 0;  // index into the plan's rows
    Ipv4 to{};            // the row's address, or the spare it is parked at
    bool parking = false;
};

struct RowOrder {
    Fate fate = Fate::Missing;
    std::optional<netcfg::DeviceEntry> device;  // as it answered discovery
    std::string detail;                         // why missing or refused
    // Rows whose printers hold this row's address now: they must have left it first.
    std::vector<std::size_t> waitsFor;
    std::optional<Ipv4> spare;  // parked there first, when trading addresses
};

struct MoveOrder {
    std::vector<RowOrder> rows;                   // per plan row
    std::vector<std::vector<PlannedMove>> steps;  // each step's packets go out at once
};

struct OrderInputs {
    // Spare addresses to park a printer on while printers trade addresses; empty: the highest
    // free host addresses of its subnet.
    std::vector<Ipv4> spares;
    std::vector<Ipv4> avoid;  // never parked on (this PC's own addresses)
};

// Decides each row's fate from what discovery found (in the order the printers answered) and
// orders the moves: a printer moves once every printer at its new address has left; printers
// that trade addresses (a cycle) get one of them parked on a spare address in the first step.
MoveOrder OrderMoves(std::span<const PlanRow> rows, std::span<const netcfg::DeviceEntry> found,
                     const OrderInputs& inputs);

}  // namespace cli
