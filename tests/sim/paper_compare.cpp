// paper_compare: prints the paper streams (paper_streams.h) on a virtual printer and compares two
// printers' pictures of them, for the Windows simulator under Wine against the Linux one.
//   paper_compare send PORT FOLDER   each stream on a connection of its own to 127.0.0.1:PORT,
//                                    waiting (20 s at most) for its picture in FOLDER first
//   paper_compare check FIRST SECOND each stream's two pictures equal dot for dot, and a barcode
//                                    reader finds the stream's symbols in SECOND's
// Exit status 0 when all is well, 1 otherwise (each failure on a line of its own), 2 for usage.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim/paper/receipt_store.h"
#include "tests/sim/paper_reading.h"
#include "tests/sim/paper_streams.h"

namespace {

namespace fs = std::filesystem;
using papertest::PaperStream;

std::string PictureName(std::size_t index) {
    return sim::paper::ReceiptStore::FileName(static_cast<unsigned>(index + 1));
}

bool SendStream(uint16_t port, const std::vector<uint8_t>& bytes) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    timeval limit{10, 0};  // every call bounded
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    for (std::size_t at = 0; ok && at < bytes.size();) {
        const ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        ok = n > 0;
        if (ok) at += static_cast<std::size_t>(n);
    }
    close(fd);
    return ok;
}

int Send(uint16_t port, const fs::path& folder) {
    const std::vector<PaperStream> streams = papertest::PaperStreams();
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (!SendStream(port, streams[i].bytes)) {
            std::printf("FAILED: cannot send \"%s\" to port %u\n", streams[i].name.c_str(), port);
            return 1;
        }
        // In print order: the next stream once this one's picture is there.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!fs::exists(folder / PictureName(i))) {
            if (std::chrono::steady_clock::now() > deadline) {
                std::printf("FAILED: no %s for \"%s\" within 20 s\n", PictureName(i).c_str(),
                            streams[i].name.c_str());
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::printf("sent %zu streams\n", streams.size());
    return 0;
}

int Check(const fs::path& first, const fs::path& second) {
    const std::vector<PaperStream> streams = papertest::PaperStreams();
    int failures = 0;
    std::size_t symbols = 0;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const PaperStream& s = streams[i];
        const std::string name = PictureName(i);
        const sim::paper::Bitmap a = papertest::ReadPng(first / name);
        const sim::paper::Bitmap b = papertest::ReadPng(second / name);
        if (a.Empty() || b.Empty()) {
            std::printf("FAILED: %s (%s): no picture in %s\n", name.c_str(), s.name.c_str(),
                        (a.Empty() ? first : second).c_str());
            ++failures;
            continue;
        }
        if (a.Width() != b.Width() || a.Height() != b.Height()) {
            std::printf("FAILED: %s (%s): %d × %d dots against %d × %d\n", name.c_str(),
                        s.name.c_str(), a.Width(), a.Height(), b.Width(), b.Height());
            ++failures;
            continue;
        }
        long differing = 0;
        int left = a.Width(), right = -1, top = a.Height(), bottom = -1;
        for (int y = 0; y < a.Height(); ++y) {
            for (int x = 0; x < a.Width(); ++x) {
                if (a.Dot(x, y) == b.Dot(x, y)) continue;
                ++differing;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        if (differing > 0) {
            std::printf("FAILED: %s (%s): %ld dots differ, within x %d-%d, y %d-%d\n", name.c_str(),
                        s.name.c_str(), differing, left, right, top, bottom);
            ++failures;
        }
        std::vector<std::string> read;
        for (const papertest::Decoded& d : papertest::ReadSymbols(b, 16)) read.push_back(d.data);
        std::sort(read.begin(), read.end());
        if (read != s.symbols) {
            std::string found;
            for (const std::string& r : read) found += " [" + r + "]";
            std::printf("FAILED: %s (%s): the barcode reader found%s\n", name.c_str(),
                        s.name.c_str(), found.empty() ? " nothing" : found.c_str());
            ++failures;
        }
        symbols += read.size();
        if (differing == 0)
            std::printf("%s (%s): %d × %d dots, equal\n", name.c_str(), s.name.c_str(), a.Width(),
                        a.Height());
    }
    std::printf("%zu pictures compared, %zu symbols read back, %d failures\n", streams.size(),
                symbols, failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "send") {
        const long port = std::strtol(args[1].c_str(), nullptr, 10);
        if (port > 0 && port < 65536) return Send(static_cast<uint16_t>(port), args[2]);
    }
    if (args.size() == 3 && args[0] == "check") return Check(args[1], args[2]);
    std::fprintf(stderr, "usage: paper_compare send PORT FOLDER | check FIRST SECOND\n");
    return 2;
}
