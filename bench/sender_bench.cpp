// Sender thread figures: CPU use while idle, and the time from SubmitCommand to the last byte of a
// six-byte command arriving at a loopback TCP printer (connect included).
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

}  // namespace

int main(int argc, char** argv) {
    const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int commands = argc > 2 ? std::atoi(argv[2]) : 1000;
    std::printf("cores: %ld online (hardware_concurrency %u)\n", sysconf(_SC_NPROCESSORS_ONLN),
                std::thread::hardware_concurrency());

    fakes::TcpPrinterPeer peer;
    if (!peer.ok()) {
        std::printf("cannot listen on loopback\n");
        return 1;
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

    // Idle: the whole process (sender waiting, peer polling, main asleep).
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    std::printf("idle: %.3f s CPU over %.1f s = %.4f %% of one core (whole process)\n", cpu, wall,
                100.0 * cpu / wall);

    // Latency: one command at a time, each on its own connection.
    const uint8_t cut[6] = {0x0a, 0x0a, 0x1d, 0x56, 0x01, 0x01};
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(commands));
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < commands; ++i) {
        const auto t0 = Clock::now();
        printerlink::SubmitCommand(buffer, cut, sizeof cut);
        if (!peer.WaitForClosed(static_cast<std::size_t>(i) + 1, std::chrono::seconds(5))) {
            std::printf("command %d did not arrive\n", i);
            break;
        }
        const auto connection = peer.Connections()[static_cast<std::size_t>(i)];
        if (connection.bytes.size() != sizeof cut) std::printf("command %d: wrong bytes\n", i);
        micros.push_back(
            std::chrono::duration<double, std::micro>(connection.lastByte - t0).count());
        buffer.WaitIdle(std::chrono::seconds(5));
    }
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("submit -> last byte at peer, %zu six-byte commands (connect each):\n",
                micros.size());
    std::printf("  median %.1f us, p99 %.1f us, max %.1f us; %.0f commands/s, %.3f s CPU\n",
                Percentile(micros, 0.5), Percentile(micros, 0.99), Percentile(micros, 1.0),
                static_cast<double>(micros.size()) / total, CpuSeconds() - cpuBefore);
    std::printf("statuses: %zu, messages: %zu\n", sinks.Statuses().size(), sinks.Messages().size());
    sender.Stop();
    return 0;
}
