#pragma once
// A serial peer: a pseudo-terminal pair. The code under test opens the slave by name; the test
// reads what arrived on the master. The slave stays open here too, so its settings persist
// between the sender's open/close cycles.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace fakes {

class PtyPeer {
  public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    const std::string& slaveName() const { return name_; }
    int masterFd() const { return master_; }
    int slaveFd() const { return slave_; }

    // Reads from the master until `count` bytes arrived or `timeout` passed.
    std::vector<uint8_t> ReadMaster(std::size_t count, std::chrono::milliseconds timeout) const;
    // Reads whatever arrives until nothing came for `quiet`.
    std::vector<uint8_t> DrainMaster(std::chrono::milliseconds quiet) const;

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
};

// Line settings as the kernel holds them (read with TCGETS2, so any rate shows exactly).
struct LineSettings {
    bool ok = false;
    unsigned outputBaud = 0;
    unsigned inputBaud = 0;
    unsigned dataBits = 0;  // 5..8
    bool parity = false;    // PARENB
    bool twoStopBits = false;
    bool parityCheck = false;       // INPCK
    bool rtsCts = false;            // CRTSCTS
    bool xonXoff = false;           // IXON
    bool outputProcessing = false;  // OPOST
    bool echo = false;
};
LineSettings ReadLineSettings(int fd);
// Puts a line into a known state before a test (rate, data bits, parity, stop bits, flags).
bool SetLineSettings(int fd, const LineSettings& settings);

}  // namespace fakes
