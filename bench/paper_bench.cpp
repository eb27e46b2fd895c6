// The paper's speed on a typical receipt, the same on Linux and Windows: drawn and saved as PNG
// one after another, with the resident memory as they print (sim_bench prints it first;
// paper_bench alone, e.g. under Wine beside the Linux figure).
#include "bench/paper_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "bench/process_stats.h"
#include "sim/paper/paper.h"
#include "sim/paper/png_file.h"
#include "sim/paper/receipt_store.h"
#include "sim/stream_decoder.h"
#include "tests/fakes/temp_folder.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

void Append(std::vector<uint8_t>& out, std::string_view bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// GS ( k: a QR code function with its parameters.
std::string Qr(char fn, std::string_view values) {
    const std::size_t n = values.size() + 3;
    return std::string("\x1D(k") + char(n & 0xFF) + char(n >> 8) + "1" + fn + std::string(values);
}

}  // namespace

// A typical receipt: a title at double size, ten lines in two columns, an EAN-13 with its text,
// a QR code, a 64 × 64 image, a cut.
std::vector<uint8_t> TypicalReceipt() {
    std::vector<uint8_t> r;
    Append(r,
           "\x1B@\x1B"
           "a\x01\x1D!\x11"
           "CORNER CAFE\n\x1D!");
    r.push_back(0);
    Append(r,
           "\x1B"
           "a");
    r.push_back(0);
    for (int i = 0; i < 10; ++i) {
        Append(r, "Item " + std::to_string(i + 1) + " of the day");
        Append(r, "\x1B$\xE0\x01");  // the price column at dot 480
        Append(r, std::to_string(2 + i) + ".50\n");
    }
    Append(r,
           "\x1B"
           "a\x01\x1DH\x02\x1Dh\x50\x1Dk\x43\x0D"
           "4006381333931\n");
    Append(r, Qr('C', "\x06") + Qr('E', "1") + Qr('P', "0https://example.com/receipt/0042") +
                  Qr('Q', "0") + "\n");
    Append(r, "\x1Dv0");
    for (const int b : {0, 8, 0, 64, 0}) r.push_back(static_cast<uint8_t>(b));
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 8; ++x) r.push_back(((x + y / 8) % 2) != 0 ? 0xFF : 0x00);
    }
    Append(r, "\x1DVB");
    r.push_back(0);
    return r;
}

// Receipts printed one after another as a connection would print them (a decoder and a paper
// each), each drawn and saved as PNG into a scratch folder.
void PaperBench(int count) {
    std::string error;
    const std::unique_ptr<sim::paper::Drawing> drawing = sim::paper::MakeDrawing(&error);
    if (!drawing) {
        std::printf("paper: no drawing (%s)\n", error.c_str());
        return;
    }
    const std::filesystem::path folder = fakes::NewTempFolder("sim-bench-paper-");
    if (folder.empty()) return;
    sim::paper::ReceiptStore store(folder);
    (void)store.Open();
    const std::vector<uint8_t> receipt = TypicalReceipt();
    std::vector<double> drawn, total;  // microseconds: laid out; laid out and saved
    int height = 0;
    sim::paper::Bitmap last;  // the last receipt's picture, encoded alone below
    long rssAt10 = 0;
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const auto from = Clock::now();
        Clock::time_point laidOut;
        sim::paper::Paper paper(*drawing, sim::paper::PaperOptions{576},
                                [&](sim::paper::Receipt&& r) {
                                    laidOut = Clock::now();
                                    height = r.picture.Height();
                                    (void)store.Save(*drawing, r, {1, "tcp", 1, {}});
                                    last = std::move(r.picture);
                                },
                                {});
        sim::StreamDecoder decoder([](sim::Event&&) {});
        decoder.SetPaper(&paper);
        decoder.Feed(receipt);
        decoder.Finish();
        paper.End();
        const auto to = Clock::now();
        drawn.push_back(std::chrono::duration<double, std::micro>(laidOut - from).count());
        total.push_back(std::chrono::duration<double, std::micro>(to - from).count());
        if (i == 9) rssAt10 = ResidentKiB();
    }
    const double seconds = Seconds(start), cpuSeconds = CpuSeconds() - cpu;
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const auto p90 = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() * 9 / 10];
    };
    std::printf(
        "paper, typical receipt (576 x %d dots): %.0f pictures/s; median %.0f us drawn and saved "
        "as PNG (p90 %.0f us), of which %.0f us laid out; CPU %.0f us a receipt\n",
        height, count / seconds, median(total), p90(total), median(drawn),
        cpuSeconds * 1e6 / count);
    std::printf(
        "paper, resident memory: %ld KiB after 10 receipts, %ld KiB after %d (the index "
        "keeps %zu bytes a receipt)\n",
        rssAt10, ResidentKiB(), count, sizeof(sim::paper::ReceiptEntry));
    // What saving costs besides the file system's calls (which dominate under Wine): the PNG
    // encoding alone, in memory.
    std::vector<uint8_t> bytes;
    std::vector<double> encoded;
    for (int i = 0; i < 200; ++i) {
        const auto from = Clock::now();
        (void)sim::paper::EncodePng(last, &bytes, &error);
        encoded.push_back(std::chrono::duration<double, std::micro>(Clock::now() - from).count());
    }
    std::printf("paper, the typical receipt encoded as PNG in memory: median %.0f us (%zu bytes)\n",
                median(encoded), bytes.size());
    std::filesystem::remove_all(folder);
}

}  // namespace bench
