#pragma once
// Running the soak: the simulator as a process of its own whose JSON log is read as it comes,
// and the lanes, each sending its jobs one after another through the code the programs use
// (tessary-cli's send, status and firmware paths; the windows' sender thread), all at once, with
// a watchdog that marks a job lost once it outlived its limit.

#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/chaos/soak_jobs.h"
#include "bench/chaos/soak_log.h"

namespace soak {

class SimProcess {
  public:
    // `copy`: a file the log is also written to (empty: none).
    SimProcess(std::string program, std::vector<std::string> arguments, SimLog& log,
               std::filesystem::path copy = {})
        : program_(std::move(program)),
          arguments_(std::move(arguments)),
          log_(log),
          copy_(std::move(copy)) {}
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts it and waits (10 s at most) until its start lines came.
    [[nodiscard]] bool Start(std::string* error);
    // Ends it as a user does (SIGTERM), waits (10 s at most, then SIGKILL) until it ended and its
    // last line was read. True when it ended by itself with status 0.
    bool Stop();
    pid_t Pid() const { return pid_; }

  private:
    void Read(int fd);

    std::string program_;
    std::vector<std::string> arguments_;
    SimLog& log_;
    std::filesystem::path copy_;
    pid_t pid_ = -1;
    std::thread reader_;
};

// Whether an attempt's connection reached the printer's stack: its connect went through; it
// was refused or timed out; or it was reset while connecting (the printer's stack took it and
// reset it, or the attempt cannot tell which happened).
enum class Reach { Yes, No, Maybe };

// A job's outcome as the program reported it.
struct Verdict {
    bool given = false;  // false: none came (lost)
    bool done = false;
    Reach reach = Reach::Yes;
    std::string cause;  // a failure's kind: refused, reset, stalled, no answer, ...
    std::string text;   // what the program said
    Clock::time_point start{}, end{};
};

// The kind of failure a program's message names; empty when it names none.
std::string Cause(const std::string& text);

// Something a lane did that may have reached the printer: a job, or the status question the
// windows' sender asks after a failed one (`job` null).
struct Attempt {
    const Job* job = nullptr;
    uint32_t after = 0;  // a status question: the job it followed
    Verdict verdict;
};

struct LaneSetup {
    uint16_t tcpPort = 0;                   // every printer's
    std::filesystem::path scratch;          // for the firmware images' files
    std::function<void(std::size_t)> done;  // jobs finished so far, after each one
};

struct LaneResults {
    std::vector<std::vector<Attempt>> lanes;  // each lane's attempts in order
    std::vector<uint32_t> hung;               // jobs that outlived their limit
    bool abandoned = false;                   // a lane never finished (its jobs are lost)
};

// Runs every lane (lane i sends to printer i + 1 at 127.0.0.(i + 1)) until its jobs are done.
LaneResults RunLanes(std::vector<Job>& jobs, const JobMix& mix, const LaneSetup& setup);

}  // namespace soak
