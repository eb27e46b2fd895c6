#pragma once
// What the simulator's JSON log says, kept per connection as the lines arrive: which jobs a
// connection carried (their marker lines), a firmware download's verdict, status answers, how it
// ended (bytes read, bytes its stack held unread, reset or not), the fault it drew; and the faults
// drawn by kind.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace soak {

using Clock = std::chrono::steady_clock;

struct Connection {
    uint64_t number = 0;
    int printer = 0;
    std::vector<uint32_t> starts;  // ids of "JOB nnnnnn cccc" lines, in order
    std::vector<uint16_t> checksums;
    std::vector<uint32_t> ends;        // ids of "END nnnnnn" lines
    std::vector<uint32_t> firmwareOk;  // checksums of downloads that matched
    uint32_t firmwareMismatches = 0;
    uint32_t statusAnswers = 0;  // answers sent (at once or late)
    std::string fault;           // the fault it drew, empty for none
    bool ended = false;
    uint64_t received = 0;  // read by the printer
    uint64_t unread = 0;    // taken by its stack, never read
    bool reset = false;
    // The text line being read, and where in the stream it ends so far.
    std::string line;
    uint64_t lineEnd = UINT64_MAX;
};

struct SimSummary {
    std::map<std::string, uint64_t> faults;  // by kind, from the summary at the end
    uint64_t draws = 0;
    bool seen = false;
};

class SimLog {
  public:
    // One line of the log.
    void Take(const std::string& line);

    // After the simulator ended: the connections by number, the summary.
    std::map<uint64_t, Connection> Connections() const;
    SimSummary Summary() const;
    // Lines that say two printers answer at one address ("took address ... too").
    uint64_t SharedAddresses() const;
    // Lines that were no JSON object.
    uint64_t Unreadable() const;
    // The simulator has started: its line naming the chaos seed (the last of its start) came.
    bool Started() const;
    // The TCP port of the printers, from the first line that names it.
    std::optional<uint16_t> TcpPort() const;

  private:
    mutable std::mutex mutex_;
    std::map<uint64_t, Connection> connections_;
    SimSummary summary_;
    uint64_t shared_ = 0;
    uint64_t unreadable_ = 0;
    std::optional<uint16_t> tcpPort_;
    bool started_ = false;
};

}  // namespace soak
