// Brindel's network download with its real pauses: a 160 KiB image (or the size given) to a
// loopback printer. Prints the measured time against the pacing floor (n blocks x 10 ms, the
// 0.92 s of the tail, the 1 s waits before and after) and the CPU the process used meanwhile.
//
//   net_download_bench [image-KiB=160]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "netcfg/device_table.h"
#include "tests/fakes/tcp_peer.h"
#include "updater/net_download.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const long kib = argc > 1 ? std::atol(argv[1]) : 160;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("net_download_bench." + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    {
        std::ofstream image(dir / updater::kImageFileName, std::ios::binary);
        const std::vector<char> data(static_cast<std::size_t>(kib) * 1024, '\x5A');
        image.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    fakes::TcpPrinterPeer printer;
    netcfg::DeviceTable table(netcfg::BrindelPolicy());
    std::vector<uint8_t> reply(24, 0x00);
    reply[8] = 0x01;
    reply[14] = 127, reply[17] = 1;
    reply[18] = reply[19] = 0xFF;
    if (!printer.ok() || table.OfferReply(reply) != netcfg::DeviceTable::Offer::Stored) return 1;

    updater::NetDownloadSinks sinks;
    sinks.selectedLine = [] { return 0; };
    const updater::NetPacing pacing;
    updater::NetworkDownload download(table, sinks, dir, printer.port(), pacing);

    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const updater::NetOutcome outcome = download.Run();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    printer.WaitForClosed(1, std::chrono::seconds(5));
    const auto connections = printer.Connections();
    const std::size_t received = connections.empty() ? 0 : connections[0].bytes.size();
    std::filesystem::remove_all(dir);

    const long blocks = (kib * 1024 + 511) / 512;
    const double floor = static_cast<double>(blocks) * 0.010 + 0.92 + 2.0;
    std::printf("network download: %ld KiB, %ld blocks, outcome %s, %zu bytes at the printer\n",
                kib, blocks, outcome == updater::NetOutcome::Done ? "done" : "FAILED", received);
    std::printf("  time %.3f s, pacing floor %.3f s, over the floor %.2f %%\n", seconds, floor,
                (seconds - floor) / floor * 100.0);
    std::printf("  CPU %.3f s (%.2f %% of the time)\n", cpu, cpu / seconds * 100.0);
    return outcome == updater::NetOutcome::Done ? 0 : 1;
}
