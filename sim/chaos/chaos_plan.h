#pragma once
// Faults drawn at random for the virtual printers, repeatable from a seed: every new TCP
// connection, serial session and datagram on the discovery port draws at most one, with a given
// probability. The generator is the standard's mt19937_64, whose sequence the standard fixes, and
// every draw from it is made here by hand (the standard library's distributions differ between
// implementations), so one seed gives the same faults on every system; the order of the
// occasions is the only input.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace sim::chaos {

enum class Fault : uint8_t {
    None,
    // A TCP connection: reset after `bytes`; stop reading after `bytes` for `pause`, then read on;
    // stop reading after `bytes` for good; read no faster than `rate` bytes a second; close at
    // once when accepted; the printer restarts (`pause`) after `bytes` or when the connection
    // ends; status answers `pause` late; status requests not answered.
    Reset,
    Stall,
    StallForGood,
    Slow,
    Close,
    Restart,
    StatusLate,
    StatusMissing,
    // A datagram on the discovery port: not answered; answered twice; answered `pause` late.
    Dropped,
    Doubled,
    Late,
};
inline constexpr std::size_t kFaultKinds = 12;  // with None

// What draws: a connection's and a serial session's faults are those their side can have.
enum class Occasion { Connection, SerialSession, Datagram };

struct Draw {
    Fault fault = Fault::None;
    uint64_t bytes = 0;                  // Reset, Stall, StallForGood, Restart: where in the stream
    std::chrono::milliseconds pause{0};  // Stall, Restart, StatusLate, Late
    uint32_t rate = 0;                   // Slow: bytes a second
};

// The ranges the parameters are drawn from.
inline constexpr uint32_t kBytesBits = 17;  // bytes: below 2^k for k from 0 to 17, k uniform
inline constexpr std::chrono::milliseconds kStallMin{50}, kStallMax{6000};
inline constexpr std::chrono::milliseconds kRestartMin{200}, kRestartMax{3000};
inline constexpr std::chrono::milliseconds kStatusLateMin{100}, kStatusLateMax{3000};
inline constexpr std::chrono::milliseconds kLateMin{100}, kLateMax{2000};
inline constexpr uint32_t kSlowMin = 4096, kSlowMax = 65536;

inline constexpr uint32_t kRateScale = 1000000;  // rates in millionths

// --chaos SEED[:RATE]: the seed, and the chance of a fault for each occasion (0 to 1, 0.3 unless
// given; at most six decimals).
struct ChaosSetting {
    uint64_t seed = 0;
    uint32_t rate = 300000;  // millionths
};
std::optional<ChaosSetting> ParseChaosSetting(std::string_view text);
std::string ChaosSettingText(const ChaosSetting& setting);  // "7:0.3"

// Uniform draws from mt19937_64, the same on every system.
class Generator {
  public:
    explicit Generator(uint64_t seed) : engine_(seed) {}
    // Uniform in [0, n); 0 for n == 0.
    uint64_t Below(uint64_t n);
    // Uniform in [low, high].
    uint64_t Between(uint64_t low, uint64_t high) { return low + Below(high - low + 1); }

  private:
    std::mt19937_64 engine_;
};

class ChaosPlan {
  public:
    explicit ChaosPlan(const ChaosSetting& setting)
        : generator_(setting.seed), rate_(setting.rate) {}
    // The next occasion's fault (Fault::None for most).
    Draw Next(Occasion occasion);

  private:
    Generator generator_;
    uint32_t rate_;
};

// "reset", "stall", "stall-for-good", "slow", "close", "restart", "status-late",
// "status-missing", "dropped", "doubled", "late"; "none".
const char* FaultName(Fault fault);
// The fault in words: "reset after 1234 bytes", "stall for 2500 ms after 10 bytes", ...
std::string DrawText(const Draw& draw);

// Faults drawn, by kind, and the occasions that drew.
class FaultTally {
  public:
    void Count(Fault fault);
    uint64_t Of(Fault fault) const { return faults_[static_cast<std::size_t>(fault)]; }
    uint64_t Occasions() const { return occasions_; }
    uint64_t Faults() const { return occasions_ - Of(Fault::None); }
    // "12 faults in 40 draws: reset 3, stall 2, ..." (kinds that happened, in their order).
    std::string Text() const;

  private:
    std::array<uint64_t, kFaultKinds> faults_{};
    uint64_t occasions_ = 0;
};

}  // namespace sim::chaos
