// The chaos soak: pos-printer-sim with --chaos, and N jobs sent at once over several lanes
// through the code the programs use, then a ledger joining each job's verdict with what the
// simulator received; then tessary-cli fleet under chaos. Prints its figures; the exit status
// is 0 only when nothing was called done that the printer did not receive, nothing was lost,
// nothing arrived twice, every failure named its cause and the fleet kept its rules.
//
//   chaos_soak [jobs=2000] [seed=1] [--rate R] [--lanes N] [--window-lanes N] [--fleet N]
//              [--log FILE (the simulator's JSON log, kept)] [--attempts FILE (each lane's)]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/chaos/soak_fleet.h"
#include "bench/chaos/soak_jobs.h"
#include "bench/chaos/soak_ledger.h"
#include "bench/chaos/soak_log.h"
#include "bench/chaos/soak_run.h"
#include "bench/process_stats.h"
#include "sim/chaos/chaos_plan.h"

namespace {

struct Arguments {
    uint32_t jobs = 2000;
    uint64_t seed = 1;
    uint32_t rate = 300000;
    soak::JobMix mix;
    int fleet = 30;
    std::string log;       // the simulator's log is kept there
    std::string attempts;  // and each lane's attempts there
};

bool Read(int argc, char** argv, Arguments& a) {
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool valued = i + 1 < argc;
        if (arg == "--rate" && valued) {
            const auto setting = sim::chaos::ParseChaosSetting("0:" + std::string(argv[++i]));
            if (!setting) return false;
            a.rate = setting->rate;
        } else if (arg == "--lanes" && valued) {
            a.mix.lanes = std::atoi(argv[++i]);
        } else if (arg == "--window-lanes" && valued) {
            a.mix.windowLanes = std::atoi(argv[++i]);
        } else if (arg == "--log" && valued) {
            a.log = argv[++i];
        } else if (arg == "--attempts" && valued) {
            a.attempts = argv[++i];
        } else if (arg == "--fleet" && valued) {
            a.fleet = std::atoi(argv[++i]);
        } else if (!arg.empty() && arg[0] != '-' && positional < 2) {
            if (positional++ == 0) {
                a.jobs = static_cast<uint32_t>(std::strtoul(arg.c_str(), nullptr, 10));
            } else {
                a.seed = std::strtoull(arg.c_str(), nullptr, 10);
            }
        } else {
            return false;
        }
    }
    return a.jobs >= 1 && a.jobs <= 999999 && a.mix.lanes >= 1 && a.mix.lanes <= 200 &&
           a.mix.windowLanes >= 0 && a.mix.windowLanes <= a.mix.lanes && a.fleet >= 0 &&
           a.fleet <= 250;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments a;
    if (!Read(argc, argv, a)) {
        std::fprintf(
            stderr,
            "usage: chaos_soak [jobs=2000] [seed=1] [--rate R] [--lanes N] "
            "[--window-lanes N] [--fleet PRINTERS (0: none)] [--log FILE] [--attempts FILE]\n");
        return 2;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const std::string setting = sim::chaos::ChaosSettingText({a.seed, a.rate});
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() / ("chaos_soak." + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch);

    soak::SimLog log;
    soak::SimProcess sim(POS_PRINTER_SIM,
                         {"--json", "--printers", std::to_string(a.mix.lanes), "--tcp-port", "0",
                          "--udp-port", "0", "--chaos", setting},
                         log, a.log);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "chaos_soak: %s\n", error.c_str());
        return 1;
    }
    const long senderStart = bench::ResidentKiB(), simStart = bench::ResidentKiBOf(sim.Pid());
    std::vector<soak::Job> jobs = soak::PlanJobs(a.jobs, a.seed, a.mix);
    soak::LaneSetup setup;
    setup.tcpPort = log.TcpPort().value_or(0);
    setup.scratch = scratch;
    long senderTenth = 0, simTenth = 0;
    const pid_t simPid = sim.Pid();
    setup.done = [&](std::size_t n) {
        if (n == (a.jobs + 9) / 10) {
            senderTenth = bench::ResidentKiB();
            simTenth = bench::ResidentKiBOf(simPid);
        }
        // Over itself on a terminal, a line each in a log.
        if (n % 100 == 0)
            std::fprintf(stderr, isatty(2) ? "\r%zu of %u jobs" : "%zu of %u jobs\n", n, a.jobs);
    };
    const soak::LaneResults lanes = soak::RunLanes(jobs, a.mix, setup);
    if (isatty(2)) std::fprintf(stderr, "\r");
    const long senderEnd = bench::ResidentKiB(), simEnd = bench::ResidentKiBOf(sim.Pid());
    const bool simEnded = sim.Stop();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::filesystem::remove_all(scratch);

    const soak::Ledger ledger = soak::Reckon(jobs, lanes, log);
    if (!a.attempts.empty()) {
        std::ofstream out(a.attempts);
        soak::PrintAttempts(lanes, out);
    }
    const soak::SimSummary summary = log.Summary();
    std::cout << "chaos soak: " << a.jobs << " jobs, seed " << a.seed << ", --chaos " << setting
              << ", " << a.mix.lanes << " printers, " << a.mix.lanes << " lanes at once ("
              << a.mix.windowLanes << " through the windows' sender)\n";
    char line[160];
    std::snprintf(line, sizeof line, "  %.1f s, %.1f jobs a second\n", seconds, a.jobs / seconds);
    std::cout << line;
    std::cout << "  faults drawn: " << soak::FaultsText(summary) << " in " << summary.draws
              << " draws" << (summary.seen ? "" : " (NO SUMMARY FROM THE SIMULATOR)") << '\n';
    soak::PrintLedger(ledger, std::cout);
    std::snprintf(line, sizeof line,
                  "  resident memory: sender %ld KiB at the start, %ld after a tenth of the jobs, "
                  "%ld at the end;\n    simulator %ld KiB, %ld, %ld\n",
                  senderStart, senderTenth, senderEnd, simStart, simTenth, simEnd);
    std::cout << line;
    if (!simEnded) std::cout << "  THE SIMULATOR DID NOT END CLEANLY\n";
    if (lanes.abandoned) {
        std::cout << "  a lane never finished: its job is lost\n" << std::flush;
        std::_Exit(1);  // its thread is still blocked
    }
    bool clean = ledger.Clean() && summary.seen && simEnded && log.Unreadable() == 0;
    if (a.fleet > 0) {
        const soak::FleetSoak fleet =
            soak::RunFleetSoak(POS_PRINTER_SIM, a.seed + 1, a.rate, a.fleet);
        soak::PrintFleet(fleet, std::cout);
        clean = clean && fleet.Clean();
    }
    std::cout << (clean ? "clean: 0 false done, 0 lost, 0 duplicates\n" : "NOT CLEAN\n");
    return clean ? 0 : 1;
}
