// The console (--http) of a real pos-printer-sim process, with a page's event stream connected:
// the time from a receipt's last byte sent over TCP to its "receipt" event on /api/events (a
// typical receipt ending in a cut, one after another on one connection), the simulator's resident
// memory before and after many more receipts, how long the receipt list takes to answer then, and
// the simulator's CPU use while idle with the page connected. Linux (/proc).
//
//   console_bench [receipts=1000] [more-receipts=10000] [idle-seconds=10]
#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/paper_bench.h"
#include "bench/sim_process.h"
#include "link/socket_io.h"
#include "tests/fakes/send_all.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

long ResidentKiB(pid_t pid) {
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double CpuSeconds(pid_t pid) {  // user and system time of the process
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::size_t at = stat.rfind(')');
    if (at == std::string::npos) return 0;
    // Fields after the name: state is field 3; utime and stime are fields 14 and 15.
    unsigned long utime = 0, stime = 0;
    int field = 2;
    const char* p = stat.c_str() + at + 1;
    while (*p != '\0' && field < 15) {
        while (*p == ' ') ++p;
        ++field;
        if (field == 14) utime = std::strtoul(p, nullptr, 10);
        if (field == 15) stime = std::strtoul(p, nullptr, 10);
        while (*p != '\0' && *p != ' ') ++p;
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(i, values.size() - 1)];
}

// A page's event stream: when each receipt's event arrived.
class Page {
  public:
    explicit Page(uint16_t port) : client_("127.0.0.1", port) {
        client_.set_read_timeout(std::chrono::seconds(60));
        thread_ = std::thread([this] {
            client_.Get("/api/events", [this](const char* data, std::size_t length) {
                const Clock::time_point now = Clock::now();
                std::lock_guard lock(mutex_);
                text_.append(data, length);
                // "event: receipt\ndata: {"number":N,...": each whole event read once.
                for (std::size_t end; (end = text_.find("\n\n")) != std::string::npos;) {
                    const std::string event = text_.substr(0, end);
                    text_.erase(0, end + 2);
                    if (event.rfind("event: receipt\n", 0) != 0) continue;
                    const std::size_t n = event.find("\"number\":");
                    if (n != std::string::npos)
                        arrived_.emplace_back(std::strtoul(event.c_str() + n + 9, nullptr, 10),
                                              now);
                }
                changed_.notify_all();
                return true;
            });
        });
    }
    ~Page() {
        client_.stop();
        thread_.join();
    }
    // When receipt `number` arrived; nullopt when it did not within `limit`.
    std::optional<Clock::time_point> WaitFor(unsigned long number, std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        std::optional<Clock::time_point> at;
        changed_.wait_for(lock, limit, [&] {
            for (const auto& [n, when] : arrived_) {
                if (n == number) at = when;
            }
            return at.has_value();
        });
        arrived_.clear();
        return at;
    }

  private:
    httplib::Client client_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string text_;
    std::vector<std::pair<unsigned long, Clock::time_point>> arrived_;
};

}  // namespace

int main(int argc, char** argv) {
    const int receipts = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int more = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 10;
    if (receipts < 1 || more < 0 || idleSeconds < 0) {
        std::fprintf(stderr, "usage: console_bench [receipts] [more-receipts] [idle-seconds]\n");
        return 2;
    }
    const fs::path work = fs::temp_directory_path() / ("console_bench." + std::to_string(getpid()));
    fs::create_directories(work / "receipts");
    const fs::path log = work / "sim.log";
    const pid_t sim = bench::StartSimulator({"--tcp-port", "0", "--udp-port", "0", "--http", "0",
                                             "--receipts", (work / "receipts").string()},
                                            log);
    if (sim < 0) {
        std::fprintf(stderr, "cannot start %s\n", POS_PRINTER_SIM);
        return 1;
    }
    const auto stop = [&] {
        kill(sim, SIGTERM);
        int status = 0;
        waitpid(sim, &status, 0);
        std::error_code ec;
        fs::remove_all(work, ec);
    };
    const std::string started = bench::WaitForLog(log, "console at ");
    const auto tcp = static_cast<uint16_t>(bench::NumberAfter(started, "listening on TCP port "));
    const auto http =
        static_cast<uint16_t>(bench::NumberAfter(started, "console at http://127.0.0.1:"));
    if (tcp == 0 || http == 0) {
        std::fprintf(stderr, "the simulator did not start:\n%s", started.c_str());
        stop();
        return 1;
    }

    int failure = 0;
    const printerlink::SocketHandle socket =
        printerlink::ConnectTcpSocket({127, 0, 0, 1}, tcp, std::chrono::seconds(5), failure);
    if (socket == printerlink::kNoSocket) {
        std::fprintf(stderr, "cannot connect to the printer\n");
        stop();
        return 1;
    }
    const std::vector<uint8_t> receipt = bench::TypicalReceipt();
    unsigned long number = 0;
    {
        Page page(http);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the stream is open

        // Latency: one receipt at a time, from its last byte sent to its event.
        std::vector<double> latency;  // milliseconds
        for (int i = 0; i < receipts; ++i) {
            if (!fakes::SendAll(socket, receipt)) break;
            const Clock::time_point sent = Clock::now();
            const auto arrived = page.WaitFor(++number, std::chrono::seconds(10));
            if (!arrived) {
                std::fprintf(stderr, "receipt %lu: no event within 10 s\n", number);
                break;
            }
            latency.push_back(std::chrono::duration<double, std::milli>(*arrived - sent).count());
        }
        std::printf("cut to event: median %.2f ms, p95 %.2f ms, worst %.2f ms over %zu receipts\n",
                    Percentile(latency, 0.5), Percentile(latency, 0.95), Percentile(latency, 1.0),
                    latency.size());

        // Memory: before and after many more receipts, the page still connected.
        const long before = ResidentKiB(sim);
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < more; ++i) {
            if (!fakes::SendAll(socket, receipt)) break;
            ++number;
            if (i % 100 == 99 || i == more - 1) {  // keep pace with the printer
                if (!page.WaitFor(number, std::chrono::seconds(30))) {
                    std::fprintf(stderr, "receipt %lu: no event within 30 s\n", number);
                    break;
                }
            }
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        const long after = ResidentKiB(sim);
        std::printf(
            "resident memory: %ld KiB after %d receipts, %ld KiB after %lu (%+ld KiB), "
            "%.0f receipts/s\n",
            before, receipts, after, number, after - before, more > 0 ? more / seconds : 0.0);

        // The list of a printer with that many receipts.
        httplib::Client client("127.0.0.1", http);
        std::vector<double> list;
        for (int i = 0; i < 50; ++i) {
            const Clock::time_point l0 = Clock::now();
            const auto answer = client.Get("/api/printers/1/receipts?limit=100");
            if (!answer || answer->status != 200) break;
            list.push_back(std::chrono::duration<double, std::milli>(Clock::now() - l0).count());
        }
        std::printf("receipt list (newest 100 of %lu): median %.2f ms\n", number,
                    Percentile(list, 0.5));

        // Idle with the page connected.
        if (idleSeconds > 0) {
            std::this_thread::sleep_for(std::chrono::seconds(3));  // keep-alive connections end
            const double cpu = CpuSeconds(sim);
            std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
            std::printf("idle with a page connected: %.3f%% of a core over %d s\n",
                        (CpuSeconds(sim) - cpu) * 100.0 / idleSeconds, idleSeconds);
        }
    }
    printerlink::CloseSocket(socket, false);
    stop();
    return 0;
}
