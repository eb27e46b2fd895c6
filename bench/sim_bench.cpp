// The virtual printer's speed: the decoder alone on a firmware stream, on text, on receipts of
// standard commands and on one large raster image (its data counted, not held), the server taking
// a firmware stream over loopback TCP, the server's CPU use while idle, and the paper: a typical
// receipt drawn and saved as PNG with its data file, one after another, with the resident memory
// as they print.
//   sim_bench [image-MiB] [idle-seconds] [receipts]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/paper_bench.h"
#include "bench/process_stats.h"
#include "sim/sim_server.h"
#include "sim/stream_decoder.h"
#include "updater/download_stream.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> FirmwareStream(std::size_t bytes) {
    std::vector<uint8_t> image(bytes);
    for (std::size_t i = 0; i < bytes; ++i) image[i] = static_cast<uint8_t>(i * 131 + 7);
    struct Source final : updater::ByteSource {
        const std::vector<uint8_t>* data;
        std::size_t at = 0;
        long Read(uint8_t* buffer, std::size_t length) override {
            const std::size_t n = std::min(length, data->size() - at);
            std::copy_n(data->begin() + static_cast<std::ptrdiff_t>(at), n, buffer);
            at += n;
            return static_cast<long>(n);
        }
    } source;
    source.data = &image;
    struct Sink final : updater::StreamSink {
        std::vector<uint8_t> out;
        bool Write(const uint8_t* b, std::size_t n) override {
            out.insert(out.end(), b, b + n);
            return true;
        }
    } sink;
    (void)updater::SendFirmwareStream(source, sink);
    return sink.out;
}

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

void Decode(const char* what, const std::vector<uint8_t>& bytes) {
    std::size_t events = 0;
    sim::StreamDecoder decoder([&](sim::Event&&) { ++events; });
    const auto start = Clock::now();
    for (std::size_t at = 0; at < bytes.size(); at += 4096)
        decoder.Feed(std::span<const uint8_t>(bytes).subspan(
            at, std::min<std::size_t>(4096, bytes.size() - at)));
    decoder.Finish();
    const double s = Seconds(start);
    std::printf("decoder, %s: %.1f MiB/s (%zu events)\n", what, bytes.size() / s / 1048576.0,
                events);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 2;
    const int receiptCount = argc > 3 ? std::max(std::atoi(argv[3]), 10) : 1000;
    bench::PaperBench(receiptCount);
    const std::vector<uint8_t> firmware = FirmwareStream(mib << 20);
    Decode("firmware stream", firmware);
    std::vector<uint8_t> text;
    const std::string line = "Welcome to use the needle printing printers \xB4\xF2\xD3\xA1\r\n";
    while (text.size() < (mib << 20)) text.insert(text.end(), line.begin(), line.end());
    Decode("text lines", text);
    // A receipt: modes, a GBK title, a price line, a feed, an EAN-8 barcode, a drawer kick, a cut.
    const std::vector<uint8_t> receipt{
        0x1B, '@',  0x1B, 'M',  0,    0x1B, 'a',  1,   0x1B, 'E',  1,    0xBB, 0xB6, 0xD3, 0xAD,
        0xB9, 0xE2, 0xC1, 0xD9, '\n', 'C',  'o',  'f', 'f',  'e',  'e',  ' ',  '1',  '2',  '.',
        '0',  '0',  '\n', 0x1B, 'd',  3,    0x1D, 'h', 64,   0x1D, 'k',  3,    '1',  '2',  '3',
        '4',  '5',  '6',  '7',  0,    0x1B, 'p',  0,   25,   250,  0x1D, 'V',  66,   0};
    std::vector<uint8_t> receipts;
    while (receipts.size() < (mib << 20))
        receipts.insert(receipts.end(), receipt.begin(), receipt.end());
    Decode("receipts", receipts);
    // One image as large as the rest: 2040 bytes a row.
    std::vector<uint8_t> raster{0x1D, 'v', '0', 0, 0xF8, 0x07, 0, 0};
    const std::size_t rows = std::min<std::size_t>((mib << 20) / 2040, 65535);
    raster[6] = static_cast<uint8_t>(rows);
    raster[7] = static_cast<uint8_t>(rows >> 8);
    raster.resize(raster.size() + rows * 2040, 0x55);
    Decode("raster image", raster);

    sim::SimOptions options;
    options.tcpPort = 0;
    options.udpPort.reset();
    std::mutex mutex;
    std::string verdict;
    const auto Verdict = [&] {
        std::lock_guard lock(mutex);
        return verdict;
    };
    sim::SimServer server(options, [&](const sim::SimLine& l) {
        std::lock_guard lock(mutex);
        if (l.event && l.event->title == "download") verdict = l.text;  // the summary
    });
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::thread serving([&] { server.Run(); });
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(server.TcpPort(1));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return 1;
    const auto start = Clock::now();
    for (std::size_t at = 0; at < firmware.size();) {
        const ssize_t n =
            send(fd, firmware.data() + at, std::min<std::size_t>(65536, firmware.size() - at), 0);
        if (n <= 0) return 1;
        at += static_cast<std::size_t>(n);
    }
    close(fd);
    while (Verdict().empty() && Seconds(start) < 60)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::printf("server over loopback TCP: %.1f MiB/s, %s\n",
                firmware.size() / Seconds(start) / 1048576.0, verdict.c_str());

    if (idleSeconds > 0) {  // no figure for no time
        const double cpu = bench::CpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        std::printf("server idle: %.2f%% of a core over %d s\n",
                    (bench::CpuSeconds() - cpu) * 100.0 / idleSeconds, idleSeconds);
    }
    server.Stop();
    serving.join();
}
