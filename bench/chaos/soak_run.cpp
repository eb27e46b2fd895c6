#include "bench/chaos/soak_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

#include "cli/cli_app.h"
#include "cli/printer_port.h"
#include "link/command_buffer.h"
#include "link/printer_query.h"
#include "link/sender_thread.h"
#include "status/status_query.h"

extern char** environ;

namespace soak {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kAfterRefusal{300};

// Waits for `condition`, looking every 5 ms, at most `limit`.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::string Address(int lane) {
    return "127.0.0." + std::to_string(lane + 1);
}

// tessary-cli's paths, called as its main calls them.
class CliLane {
  public:
    CliLane(int lane, const LaneSetup& setup)
        : lane_(lane),
          setup_(setup),
          to_("net:" + Address(lane) + ":" + std::to_string(setup.tcpPort)) {}

    Verdict Run(const Job& job, const JobContent& content) {
        Verdict v;
        v.start = Clock::now();
        switch (job.kind) {
            case JobKind::Firmware: {
                const std::filesystem::path file =
                    setup_.scratch / ("image-" + std::to_string(job.id) + ".bin");
                {
                    std::ofstream out(file, std::ios::binary);
                    out.write(reinterpret_cast<const char*>(content.image.data()),
                              static_cast<std::streamsize>(content.image.size()));
                }
                Take(v, Cli({"firmware", "--to", to_, file.string()}));
                std::filesystem::remove(file);
                break;
            }
            case JobKind::Status:
                Take(v, Cli({"status", "--to", to_}));
                break;
            default: {
                const auto port = cli::ParsePortText(to_, "");
                const cli::WriteResult r =
                    cli::WriteCommands(*port.target, content.commands, cli::LinkSettings{});
                v.done = r.ok;
                v.text = r.error;
                break;
            }
        }
        v.end = Clock::now();
        v.given = true;
        if (!v.done) {
            v.cause = Cause(v.text);
            if (v.text.find("Fail to connect") != std::string::npos)
                v.reach = v.cause == "reset" ? Reach::Maybe : Reach::No;
        }
        return v;
    }

  private:
    struct Outcome {
        int status = 0;
        std::string err;
    };
    Outcome Cli(const std::vector<std::string>& arguments) {
        std::ostringstream out, err;
        const cli::CliEnvironment environment;
        const int status = cli::RunCli(arguments, out, err, environment);
        return {status, err.str()};
    }
    // 0 (done or ready) and 3 (answered, not ready) are done; the rest says why not.
    static void Take(Verdict& v, const Outcome& o) {
        v.done = o.status == 0 || o.status == 3;
        v.text = o.err;
    }

    int lane_;
    const LaneSetup& setup_;
    std::string to_;
};

// The windows' sender: a command buffer, the sender thread with the sinks a window gives it, the
// printer's address as the NET port choice; after a failure it asks the printer's status as
// Tessary does.
class WindowLane final : public printerlink::PortChoiceSource {
  public:
    WindowLane(int lane, const LaneSetup& setup) : lane_(lane), port_(setup.tcpPort) {
        StartSender();
    }
    ~WindowLane() override {
        if (sender_) sender_->Stop();
    }

    printerlink::PortParams ReadPortParams() override {
        printerlink::PortParams p;
        p.net = true;
        p.printerIp = {127, 0, 0, static_cast<uint8_t>(lane_ + 1)};
        return p;
    }

    void Run(const Job& job, const JobContent& content, std::vector<Attempt>& attempts) {
        {
            std::lock_guard lock(mutex_);
            events_ = {};
        }
        Attempt a{&job, 0, {}};
        a.verdict.start = Clock::now();
        const std::vector<uint8_t>& command = content.commands.front();
        printerlink::SubmitCommand(buffer_, command.data(), command.size());
        // Twice its limit: a job past it is lost (the watchdog says so), this only bounds the
        // wait.
        const bool idle = buffer_.WaitIdle(2 * job.limit);
        std::unique_lock lock(mutex_);
        // A stalled command is dropped and then the printer is asked (after the buffer is idle).
        if (idle && events_.stalled)
            changed_.wait_for(lock, 10s, [&] { return events_.asked && !events_.asking; });
        a.verdict.end = Clock::now();
        a.verdict.given = idle;
        if (events_.connectFailed) {
            // The window does not say why: refused, or reset as it connected.
            a.verdict.cause = "connect failed";
            a.verdict.reach = Reach::Maybe;
        } else if (events_.stalled) {
            a.verdict.cause = "stalled";
        } else if (events_.printError) {
            a.verdict.cause = "print error";
        }
        a.verdict.done = idle && a.verdict.cause.empty();
        a.verdict.text = events_.text;
        attempts.push_back(a);
        if (events_.asked) attempts.push_back({nullptr, job.id, events_.ask});
        const bool exited = events_.exited;
        lock.unlock();
        // "Print error" ends the program: a new one starts.
        if (exited) {
            sender_->Stop();
            StartSender();
        }
    }

  private:
    void StartSender() {
        printerlink::SenderSinks sinks;
        sinks.setStatusText = [this](const std::string& text) {
            std::lock_guard lock(mutex_);
            if (text == printerlink::kNetConnectFail) events_.connectFailed = true;
            events_.text += text + "\n";
        };
        sinks.showMessage = [this](const std::string& text) {
            std::lock_guard lock(mutex_);
            if (text == printerlink::kPrintError) events_.printError = true;
            events_.text += text + "\n";
        };
        sinks.exitProgram = [this](int) {
            std::lock_guard lock(mutex_);
            events_.exited = true;
        };
        sinks.notice = [this](printerlink::LinkNotice notice) {
            std::lock_guard lock(mutex_);
            if (notice == printerlink::LinkNotice::NetStalled) events_.stalled = true;
        };
        sinks.askStatus = [this](const printerlink::PortParams& port,
                                 const std::function<bool()>& cancelled) {
            {
                std::lock_guard lock(mutex_);
                events_.asking = true;
            }
            // As Tessary asks: the printer was just reached, so a connection that takes longer
            // than an answer would is none.
            // (printerstatus::AskAt's two steps, so the soak knows whether the connect went
            // through.)
            Verdict v;
            v.start = Clock::now();
            const printerlink::TcpLimits limits{printerstatus::kAnswerTimeout,
                                                printerstatus::kAnswerTimeout, cancelled};
            printerlink::TcpResult failure;
            const auto query = printerlink::OpenTcpQuery(port.printerIp, port_, limits, failure);
            printerstatus::Reading reading;
            if (query) {
                reading = printerstatus::Ask(*query, printerstatus::kAnswerTimeout);
            } else {
                reading.outcome = printerstatus::Reading::Outcome::Failed;
                reading.error = printerlink::FaultText(failure, limits);
            }
            v.end = Clock::now();
            v.given = true;
            v.done = reading.outcome == printerstatus::Reading::Outcome::Answered;
            if (reading.outcome == printerstatus::Reading::Outcome::NoAnswer) v.cause = "no answer";
            if (reading.outcome == printerstatus::Reading::Outcome::Failed) {
                v.text = reading.error;
                v.cause = Cause(reading.error);
                if (!query) v.reach = v.cause == "reset" ? Reach::Maybe : Reach::No;
            }
            std::lock_guard lock(mutex_);
            events_.ask = v;
            events_.asked = true;
            events_.asking = false;
            changed_.notify_all();
        };
        printerlink::LinkEndpoints endpoints;
        endpoints.tcpPort = port_;
        sender_ = std::make_unique<printerlink::SenderThread>(buffer_, *this, std::move(sinks),
                                                              nullptr, endpoints);
        sender_->Start();
    }

    struct Events {
        bool connectFailed = false, stalled = false, printError = false, exited = false;
        bool asking = false, asked = false;
        Verdict ask;
        std::string text;
    };

    int lane_;
    uint16_t port_;
    printerlink::CommandBuffer buffer_;
    std::unique_ptr<printerlink::SenderThread> sender_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Events events_;
};

// What a lane is doing, for the watchdog, and what it did.
struct LaneState {
    std::mutex mutex;
    const Job* current = nullptr;
    Clock::time_point started{};
    bool finished = false;
    std::vector<Attempt> attempts;
};

// Shared with the lanes' threads, which outlive RunLanes when one never finishes.
struct Lanes {
    explicit Lanes(std::size_t count) : states(count) {}
    std::vector<LaneState> states;
    std::mutex mutex;  // finished and the count of jobs
    std::condition_variable changed;
    std::size_t finishedJobs = 0;
};

}  // namespace

SimProcess::~SimProcess() {
    if (pid_ > 0) Stop();
}

bool SimProcess::Start(std::string* error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        *error = "no pipe";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    std::vector<std::string> all{program_};
    all.insert(all.end(), arguments_.begin(), arguments_.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        pid_ = -1;
        *error = "cannot start " + program_;
        return false;
    }
    reader_ = std::thread([this, fd = fds[0]] { Read(fd); });
    if (!WaitFor([this] { return log_.Started(); }, 10s)) {
        *error = program_ + " did not start within 10 s";
        return false;
    }
    return true;
}

void SimProcess::Read(int fd) {
    std::ofstream copy;
    if (!copy_.empty()) copy.open(copy_, std::ios::binary);
    std::string pending;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (copy.is_open()) copy.write(buffer, n);
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t from = 0;
        for (std::size_t end; (end = pending.find('\n', from)) != std::string::npos; from = end + 1)
            log_.Take(pending.substr(from, end - from));
        pending.erase(0, from);
    }
    ::close(fd);
}

bool SimProcess::Stop() {
    if (pid_ <= 0) return false;
    ::kill(pid_, SIGTERM);
    int status = 0;
    bool ended = WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 10s);
    if (!ended) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    if (reader_.joinable()) reader_.join();
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Cause(const std::string& text) {
    struct Word {
        const char* part;
        const char* cause;
    };
    // In this order: a connect's failure names itself first.
    static const Word kWords[] = {
        {"refused", "refused"},
        {"timed out", "timed out"},
        {"stopped taking data", "stalled"},
        {"reset the connection", "reset"},
        {"reset by peer", "reset"},
        {"Broken pipe", "reset"},
        {"closed the connection", "closed"},
        {"no status answer", "no answer"},
        {"not a status answer", "not a status answer"},
    };
    for (const Word& w : kWords) {
        if (text.find(w.part) != std::string::npos) return w.cause;
    }
    return {};
}

LaneResults RunLanes(std::vector<Job>& jobs, const JobMix& mix, const LaneSetup& setup) {
    auto lanes = std::make_shared<Lanes>(static_cast<std::size_t>(mix.lanes));
    std::vector<std::thread> threads;
    for (int lane = 0; lane < mix.lanes; ++lane) {
        threads.emplace_back([lanes, &jobs, &mix, &setup, lane] {
            const bool window = lane >= mix.lanes - mix.windowLanes;
            std::unique_ptr<CliLane> cliLane;
            std::unique_ptr<WindowLane> windowLane;
            if (window) {
                windowLane = std::make_unique<WindowLane>(lane, setup);
            } else {
                cliLane = std::make_unique<CliLane>(lane, setup);
            }
            LaneState& state = lanes->states[static_cast<std::size_t>(lane)];
            for (Job& job : jobs) {
                if (job.lane != lane) continue;
                JobContent content = Build(job);
                {
                    std::lock_guard lock(state.mutex);
                    state.current = &job;
                    state.started = Clock::now();
                }
                std::vector<Attempt> attempts;
                if (window) {
                    windowLane->Run(job, content, attempts);
                } else {
                    attempts.push_back({&job, 0, cliLane->Run(job, content)});
                }
                {
                    std::lock_guard lock(state.mutex);
                    state.current = nullptr;
                    state.attempts.insert(state.attempts.end(), attempts.begin(), attempts.end());
                }
                // A printer that refused is tried again a moment later, as a person or a
                // script would, rather than with every job of the lane at once.
                if (attempts.front().verdict.reach != Reach::Yes)
                    std::this_thread::sleep_for(kAfterRefusal);
                std::size_t now = 0;
                {
                    std::lock_guard lock(lanes->mutex);
                    now = ++lanes->finishedJobs;
                }
                if (setup.done) setup.done(now);
            }
            windowLane.reset();
            std::lock_guard lock(lanes->mutex);
            state.finished = true;
            lanes->changed.notify_all();
        });
    }
    // The watchdog: a job past its limit is lost; a lane that stays stuck 60 s longer is given up.
    LaneResults results;
    std::set<uint32_t> hung;
    Clock::time_point lastHang{};
    std::unique_lock lock(lanes->mutex);
    for (;;) {
        const bool all = std::all_of(lanes->states.begin(), lanes->states.end(),
                                     [](const LaneState& s) { return s.finished; });
        if (all) break;
        if (!hung.empty() && Clock::now() - lastHang > 60s) {
            results.abandoned = true;
            break;
        }
        lanes->changed.wait_for(lock, 100ms);
        for (LaneState& s : lanes->states) {
            std::lock_guard stateLock(s.mutex);
            if (s.current != nullptr && Clock::now() - s.started > s.current->limit &&
                hung.insert(s.current->id).second)
                lastHang = Clock::now();
        }
    }
    lock.unlock();
    for (std::thread& t : threads) {
        if (results.abandoned) {
            t.detach();  // still blocked: the soak reports it and ends without it
        } else {
            t.join();
        }
    }
    for (LaneState& s : lanes->states) {
        std::lock_guard stateLock(s.mutex);
        results.lanes.push_back(s.attempts);
    }
    results.hung.assign(hung.begin(), hung.end());
    return results;
}

}  // namespace soak
