#include "bench/chaos/soak_fleet.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bench/chaos/soak_run.h"
#include "cli/cli_app.h"
#include "netcfg/udp_socket.h"
#include "sim/chaos/chaos_plan.h"

namespace soak {
namespace {

uint16_t FreeUdpPort() {
    return netcfg::UdpSocket::BindAny(0).LocalPort();
}

// Printers 1 and 2 trade addresses (one is parked on a spare), the last stays where it is, the
// others move from 127.0.0.i to 127.0.1.i; each gets a setting.
std::string Plan(int printers) {
    std::string plan = "mac,ip,mask,gateway,cutter\n";
    for (int i = 1; i <= printers; ++i) {
        const int to = i == 1 ? 2 : i == 2 ? 1 : i;
        const int net = (i <= 2 || i == printers) ? 0 : 1;
        char row[128];
        std::snprintf(row, sizeof row,
                      "02:00:00:00:00:%02X,127.0.%d.%d,255.255.255.0,127.0.%d.254,on\n", i, net, to,
                      net);
        plan += row;
    }
    return plan;
}

// A failed row's cause in a few words; empty when the row names none.
std::string RowCause(const std::string& detail) {
    if (detail.find("did not answer") != std::string::npos) return "no answer at its new address";
    if (detail.find("did not leave") != std::string::npos) return "its address was not left";
    return Cause(detail);
}

FleetRun RunOnce(const std::string& plan, uint16_t udp, uint16_t reply, uint16_t tcp) {
    std::istringstream in(plan);
    cli::CliEnvironment env;
    env.in = &in;
    const std::vector<std::string> arguments{
        "fleet", "-", "--json", "--broadcast", "127.0.0.1:" + std::to_string(udp), "--reply-port",
        std::to_string(reply), "--port", std::to_string(tcp),
        // A printer restarts in a second and may act on its packet 2 s late: one that has not
        // answered after 6 s did not get it.
        "--restart-timeout", "6"};
    std::ostringstream out, err;
    FleetRun run;
    const auto start = std::chrono::steady_clock::now();
    run.status = cli::RunCli(arguments, out, err, env);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const nlohmann::json rows = nlohmann::json::parse(out.str(), nullptr, false);
    if (!rows.is_array()) {
        run.problems.push_back("no JSON rows: " + out.str() + err.str());
        return run;
    }
    for (const auto& row : rows) {
        const std::string result = row.value("result", "");
        const std::string detail = row.value("detail", "");
        ++run.results[result.empty() ? "none" : result];
        if (result == "moved" || result == "unchanged") continue;
        if (result != "failed" && result != "missing" && result != "refused") {
            run.problems.push_back("row " + row.value("mac", "") + " ends '" + result + "'");
        } else if (detail.empty()) {
            run.problems.push_back("row " + row.value("mac", "") + " " + result +
                                   " without a cause");
        } else if (result == "failed") {
            const std::string cause = RowCause(detail);
            if (cause.empty())
                run.problems.push_back("row " + row.value("mac", "") + ": " + detail);
            ++run.failedBy[cause.empty() ? detail : cause];
        }
    }
    return run;
}

}  // namespace

bool FleetSoak::Clean() const {
    if (!error.empty() || !simEnded || sharedAddresses != 0 || runs.empty()) return false;
    for (const FleetRun& run : runs) {
        if (!run.problems.empty()) return false;
    }
    return true;
}

std::string FaultsText(const SimSummary& summary) {
    std::string text;
    for (const auto& [kind, n] : summary.faults) {
        if (n == 0) continue;
        text += (text.empty() ? "" : ", ") + kind + " " + std::to_string(n);
    }
    return text.empty() ? "none" : text;
}

FleetSoak RunFleetSoak(const std::string& simProgram, uint64_t seed, uint32_t rate, int printers) {
    FleetSoak fleet;
    fleet.printers = printers;
    const uint16_t udp = FreeUdpPort(), reply = FreeUdpPort();
    SimLog log;
    SimProcess sim(simProgram,
                   {"--json", "--printers", std::to_string(printers), "--tcp-port", "0",
                    "--udp-port", std::to_string(udp), "--reply-port", std::to_string(reply),
                    "--chaos", sim::chaos::ChaosSettingText({seed, rate})},
                   log);
    if (!sim.Start(&fleet.error)) return fleet;
    const uint16_t tcp = log.TcpPort().value_or(0);
    const std::string plan = Plan(printers);
    // Run again as a shop would after failures: what is in place is left, the rest is done.
    for (int run = 0; run < 2; ++run) fleet.runs.push_back(RunOnce(plan, udp, reply, tcp));
    fleet.simEnded = sim.Stop();
    fleet.sharedAddresses = log.SharedAddresses();
    fleet.faults = log.Summary();
    return fleet;
}

void PrintFleet(const FleetSoak& fleet, std::ostream& out) {
    out << "fleet under chaos: " << fleet.printers
        << " printers (two trading addresses, one staying, the rest moving)\n";
    if (!fleet.error.empty()) {
        out << "  " << fleet.error << '\n';
        return;
    }
    out << "  faults drawn: " << FaultsText(fleet.faults) << " in " << fleet.faults.draws
        << " draws\n";
    for (std::size_t i = 0; i < fleet.runs.size(); ++i) {
        const FleetRun& run = fleet.runs[i];
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", run.seconds);
        out << "  run " << i + 1 << " (" << seconds << ", status " << run.status << "):";
        for (const auto& [result, n] : run.results) out << ' ' << result << ' ' << n;
        for (const auto& [cause, n] : run.failedBy) out << "; failed, " << cause << ": " << n;
        out << '\n';
        for (const std::string& p : run.problems) out << "    PROBLEM: " << p << '\n';
    }
    out << "  two printers at one address: " << fleet.sharedAddresses << " (must be 0)\n";
}

}  // namespace soak
