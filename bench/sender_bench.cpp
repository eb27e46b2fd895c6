// Sender thread figures: CPU use while idle; for a six-byte command to a loopback TCP printer
// (connect included), the time from SubmitCommand to its last byte at the printer and to the
// sender being done with it (the printer's side of the connection ended, or its time to end
// passed), for a printer that closes when the sender ends and for one that keeps its side open.
//
//   sender_bench [idle-seconds=10] [commands=1000]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "link/command_buffer.h"
#include "link/sender_thread.h"
#include "link/usb_printer_link.h"
#include "tests/fakes/recording_sinks.h"
#include "tests/fakes/tcp_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

struct Run {
    std::vector<double> arrived;  // submit -> last byte at the printer, us
    std::vector<double> done;     // submit -> the sender idle again, us
    double seconds = 0;
    double cpu = 0;
    std::size_t statuses = 0, messages = 0;
};

// One command at a time, each on its own connection, to a printer in `mode`; the sender is started
// after `idleSeconds` of idle measurement when that is above 0.
Run Measure(fakes::TcpPrinterPeer::Mode mode, int commands, double idleSeconds) {
    Run run;
    fakes::TcpPrinterPeer peer(mode);
    if (!peer.ok()) {
        std::printf("cannot listen on loopback\n");
        return run;
    }
    printerlink::CommandBuffer buffer;
    fakes::FakePortSource ports;
    ports.Set(fakes::NetParams());
    fakes::RecordingSinks sinks;
    printerlink::LinkEndpoints endpoints;
    endpoints.tcpPort = peer.port();
    printerlink::SenderThread sender(buffer, ports, sinks.Sinks(), printerlink::MakeLibusbBackend(),
                                     endpoints);
    sender.Start();

    if (idleSeconds > 0) {
        // Idle: the whole process (sender waiting, peer polling, main asleep).
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const double cpu0 = CpuSeconds();
        const auto wall0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        const double cpu = CpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        std::printf("idle: %.3f s CPU over %.1f s = %.4f %% of one core (whole process)\n", cpu,
                    wall, 100.0 * cpu / wall);
    }

    const uint8_t cut[6] = {0x0a, 0x0a, 0x1d, 0x56, 0x01, 0x01};
    run.arrived.reserve(static_cast<std::size_t>(commands));
    run.done.reserve(static_cast<std::size_t>(commands));
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < commands; ++i) {
        const auto t0 = Clock::now();
        printerlink::SubmitCommand(buffer, cut, sizeof cut);
        if (!peer.WaitForClosed(static_cast<std::size_t>(i) + 1, std::chrono::seconds(5))) {
            std::printf("command %d did not arrive\n", i);
            break;
        }
        if (!buffer.WaitIdle(std::chrono::seconds(5))) {
            std::printf("command %d: the sender did not end\n", i);
            break;
        }
        const auto idle = Clock::now();
        const auto connection = peer.Connections()[static_cast<std::size_t>(i)];
        if (connection.bytes.size() != sizeof cut) std::printf("command %d: wrong bytes\n", i);
        run.arrived.push_back(
            std::chrono::duration<double, std::micro>(connection.lastByte - t0).count());
        run.done.push_back(std::chrono::duration<double, std::micro>(idle - t0).count());
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpu = CpuSeconds() - cpuBefore;
    run.statuses = sinks.Statuses().size();
    run.messages = sinks.Messages().size();
    sender.Stop();
    return run;
}

void Print(const char* title, const Run& run) {
    std::printf("%s, %zu six-byte commands (connect each):\n", title, run.done.size());
    std::printf("  submit -> last byte at the printer: median %.1f us, p99 %.1f us, max %.1f us\n",
                Percentile(run.arrived, 0.5), Percentile(run.arrived, 0.99),
                Percentile(run.arrived, 1.0));
    std::printf("  submit -> sender done:              median %.1f us, p99 %.1f us, max %.1f us\n",
                Percentile(run.done, 0.5), Percentile(run.done, 0.99), Percentile(run.done, 1.0));
    std::printf("  %.0f commands/s, %.3f s CPU; statuses: %zu, messages: %zu\n",
                static_cast<double>(run.done.size()) / run.seconds, run.cpu, run.statuses,
                run.messages);
}

}  // namespace

int main(int argc, char** argv) {
    const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int commands = argc > 2 ? std::atoi(argv[2]) : 1000;
    std::printf("cores: %ld online (hardware_concurrency %u)\n", sysconf(_SC_NPROCESSORS_ONLN),
                std::thread::hardware_concurrency());
    Print("printer that closes when the sender ends",
          Measure(fakes::TcpPrinterPeer::Mode::Record, commands, idleSeconds));
    // Each command waits for the printer's side: fewer of them, enough for a median.
    Print("printer that keeps its side open",
          Measure(fakes::TcpPrinterPeer::Mode::Hold, std::min(commands, 20), 0));
    return 0;
}
