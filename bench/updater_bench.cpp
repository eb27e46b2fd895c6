// Brindel figures: firmware stream throughput for a large image through a USB backend that takes
// every piece at once (file reading, blocking, checksum and 64-byte WriteAll pieces are what is
// measured), resident memory before and after, and the USB watch thread's CPU use while idle.
//
//   updater_bench [image-MiB=64] [idle-seconds=5]
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/usb_printer_link.h"
#include "updater/usb_operations.h"
#include "updater/usb_watch_thread.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// VmRSS or VmHWM of this process in KiB.
long StatusKib(const char* key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string(key).size() + 1);
    }
    return -1;
}

// One printer that takes every piece whole and keeps only a count.
class CountingBackend final : public printerlink::UsbBackend {
  public:
    class Handle final : public printerlink::UsbDeviceHandle {
      public:
        explicit Handle(uint64_t& count) : count_(count) {}
        std::string BoundDriver() override { return {}; }
        bool Claim(bool) override { return true; }
        std::size_t BulkWrite(const uint8_t*, std::size_t length, unsigned, bool& ok) override {
            count_ += length;
            ok = true;
            return length;
        }

      private:
        uint64_t& count_;
    };
    std::vector<printerlink::UsbDeviceInfo> EnumeratePresent() override {
        return {{0x1fc9, 0x2016, "usb:1-1 vid_1fc9&pid_2016"}};
    }
    std::unique_ptr<printerlink::UsbDeviceHandle> Open(const printerlink::UsbDeviceInfo&) override {
        return std::make_unique<Handle>(bytes);
    }
    uint64_t bytes = 0;
};

void IdleWatch(const char* name, std::shared_ptr<printerlink::UsbBackend> usb, double seconds) {
    updater::UsbWatchThread watch(std::move(usb), updater::UsbWatchSinks{});
    watch.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int probes0 = watch.Probes();
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    std::printf("watch thread idle, %s: %.4f s CPU over %.1f s = %.3f %% of one core, %d probes\n",
                name, cpu, wall, 100.0 * cpu / wall, watch.Probes() - probes0);
    watch.Stop();
}

}  // namespace

int main(int argc, char** argv) {
    const long mib = argc > 1 ? std::atol(argv[1]) : 64;
    const double idleSeconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    namespace fs = std::filesystem;

    std::string pattern = (fs::temp_directory_path() / "updater_bench_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path dir = pattern;
    {
        std::ofstream image(dir / updater::kImageFileName, std::ios::binary);
        std::vector<char> chunk(1 << 20);
        for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31);
        for (long i = 0; i < mib; ++i) image.write(chunk.data(), static_cast<long>(chunk.size()));
    }

    const long rssBefore = StatusKib("VmRSS:");
    auto usb = std::make_shared<CountingBackend>();
    printerlink::UsbPrinterLink link(usb, printerlink::UsbProgram::Brindel);
    int positions = 0;
    updater::UsbOperationSinks sinks;
    sinks.setProgress = [&](int) { ++positions; };
    updater::UsbOperations ops(link, sinks, dir);
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    const updater::UsbOutcome outcome = ops.FirmwareDownload();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf(
        "firmware stream, %ld MiB image: %s, %llu bytes in %.3f s = %.0f MB/s (%.3f s CPU),"
        " %d bar positions\n",
        mib, outcome == updater::UsbOutcome::Done ? "done" : "FAILED",
        static_cast<unsigned long long>(usb->bytes), seconds,
        static_cast<double>(usb->bytes) / seconds / 1e6, cpu, positions);
    std::printf("resident memory: %ld KiB before, %ld KiB after, peak %ld KiB\n", rssBefore,
                StatusKib("VmRSS:"), StatusKib("VmHWM:"));
    fs::remove_all(dir);

    IdleWatch("libusb (hotplug where available)", printerlink::MakeLibusbBackend(), idleSeconds);
    IdleWatch("no hotplug events (500 ms probes)", std::make_shared<CountingBackend>(),
              idleSeconds);
    return 0;
}
