// tessary-cli fleet against pos-printer-sim on loopback: a plan that moves every virtual printer
// (from 127.0.0.i to 127.0.1.i) and gives each three settings, with the real pauses (a 3 s
// discovery round, 1 s restarts). Prints the wall time against its floor (the discovery round,
// one restart pause and one verification round, that is one discovery request answered by all
// printers, measured) and the CPU the CLI and the simulator used.
//
//   fleet_bench [printers=100]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/sim_process.h"
#include "cli/cli_app.h"
#include "cli/network.h"
#include "netcfg/udp_socket.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

uint16_t FreeUdpPort() {
    return netcfg::UdpSocket::BindAny(0).LocalPort();
}

}  // namespace

int main(int argc, char** argv) {
    const int printers = argc > 1 ? std::atoi(argv[1]) : 100;
    if (printers < 1 || printers > 250) {
        std::fprintf(stderr, "usage: fleet_bench [printers 1..250]\n");
        return 2;
    }
    const uint16_t udp = FreeUdpPort(), reply = FreeUdpPort();
    const auto log = std::filesystem::temp_directory_path() /
                     ("fleet_bench." + std::to_string(::getpid()) + ".log");
    const pid_t sim = bench::StartSimulator(
        {"--printers", std::to_string(printers), "--tcp-port", "0", "--udp-port",
         std::to_string(udp), "--reply-port", std::to_string(reply)},
        log);
    if (sim < 0) {
        std::fprintf(stderr, "cannot start %s\n", POS_PRINTER_SIM);
        return 1;
    }
    const std::string started = bench::WaitForLog(log, "discovery answered on");
    if (started.find("listening on TCP port ") == std::string::npos) {
        std::fprintf(stderr, "the simulator did not start:\n%s", started.c_str());
        kill(sim, SIGKILL);
        return 1;
    }
    const std::string tcp = std::to_string(bench::NumberAfter(started, "listening on TCP port "));

    // One verification round: a request answered by every printer.
    cli::DiscoveryEndpoints endpoints;
    endpoints.broadcast = {0x7F000001u, udp};
    endpoints.replyPort = reply;
    const auto r0 = Clock::now();
    const cli::DiscoveryResult round = cli::Discover(
        endpoints, std::chrono::seconds(5),
        [&](const auto& devices) { return devices.size() >= static_cast<std::size_t>(printers); });
    const double roundSeconds = std::chrono::duration<double>(Clock::now() - r0).count();

    std::string plan = "mac,ip,mask,gateway,cutter,sound,auto-cut\n";
    for (int i = 1; i <= printers; ++i) {
        char row[128];
        std::snprintf(row, sizeof row,
                      "02:00:00:00:00:%02X,127.0.1.%d,255.255.255.0,127.0.1.254,on,off,on\n", i, i);
        plan += row;
    }
    std::istringstream in(plan);
    cli::CliEnvironment env;
    env.in = &in;
    const std::vector<std::string> fleet{"fleet",        "-",
                                         "--broadcast",  "127.0.0.1:" + std::to_string(udp),
                                         "--reply-port", std::to_string(reply),
                                         "--port",       tcp};
    std::ostringstream out, err;
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    const int status = cli::RunCli(fleet, out, err, env);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;

    kill(sim, SIGTERM);
    int simStatus = 0;
    rusage simUsage{};
    wait4(sim, &simStatus, 0, &simUsage);
    std::filesystem::remove(log);

    const std::string text = out.str();
    const std::size_t summary = text.rfind('\n', text.size() - 2);
    const double floor = 3.0 + 1.0 + roundSeconds;
    std::printf("fleet: %d printers moved and given 3 settings each, status %d%s\n", printers,
                status,
                round.devices.size() == static_cast<std::size_t>(printers)
                    ? ""
                    : " (not every printer answered the measured round)");
    std::printf("  %s", text.substr(summary == std::string::npos ? 0 : summary + 1).c_str());
    if (!err.str().empty()) std::printf("  stderr: %s", err.str().c_str());
    std::printf(
        "  time %.3f s, floor %.3f s (3 s discovery + 1 s restart + %.3f s round), "
        "%.3f x the floor\n",
        seconds, floor, roundSeconds, seconds / floor);
    std::printf("  over the floor: %.3f s in all, %.2f ms a printer\n", seconds - floor,
                (seconds - floor) * 1000.0 / printers);
    std::printf("  CPU: tessary-cli %.3f s (%.2f %% of the time), simulator %.3f s in all\n", cpu,
                cpu / seconds * 100.0, Seconds(simUsage.ru_utime) + Seconds(simUsage.ru_stime));
    return status;
}
