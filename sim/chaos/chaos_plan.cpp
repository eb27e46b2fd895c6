#include "sim/chaos/chaos_plan.h"

#include <charconv>
#include <limits>

namespace sim::chaos {
namespace {

constexpr Fault kConnectionFaults[] = {Fault::Reset,      Fault::Stall,        Fault::StallForGood,
                                       Fault::Slow,       Fault::Close,        Fault::Restart,
                                       Fault::StatusLate, Fault::StatusMissing};
// A serial line cannot be reset or closed, and its printer's restart is the TCP side's.
constexpr Fault kSessionFaults[] = {Fault::Stall, Fault::Slow, Fault::StatusLate,
                                    Fault::StatusMissing};
constexpr Fault kDatagramFaults[] = {Fault::Dropped, Fault::Doubled, Fault::Late};

std::chrono::milliseconds Pause(Generator& g, std::chrono::milliseconds low,
                                std::chrono::milliseconds high) {
    return std::chrono::milliseconds(static_cast<int64_t>(
        g.Between(static_cast<uint64_t>(low.count()), static_cast<uint64_t>(high.count()))));
}

// A byte count spread over every scale up to 128 KiB: below 2^k, k uniform.
uint64_t Bytes(Generator& g) {
    return g.Below(uint64_t{1} << g.Below(kBytesBits + 1));
}

std::string Ms(std::chrono::milliseconds pause) {
    return std::to_string(pause.count()) + " ms";
}

std::string After(uint64_t bytes) {
    return " after " + std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

}  // namespace

std::optional<ChaosSetting> ParseChaosSetting(std::string_view text) {
    ChaosSetting setting;
    const std::size_t colon = text.find(':');
    const std::string_view seed = text.substr(0, colon);
    const auto [end, ec] = std::from_chars(seed.data(), seed.data() + seed.size(), setting.seed);
    if (seed.empty() || ec != std::errc() || end != seed.data() + seed.size()) return std::nullopt;
    if (colon == std::string_view::npos) return setting;
    // The rate as a decimal fraction, read exactly into millionths (no floating point, so the
    // same text gives the same rate everywhere): "1", "0", "0.3", ".25", "1.0".
    const std::string_view rate = text.substr(colon + 1);
    const std::size_t dot = rate.find('.');
    const std::string_view whole = rate.substr(0, dot);
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view() : rate.substr(dot + 1);
    if ((whole.empty() && fraction.empty()) || whole.size() > 1 || fraction.size() > 6 ||
        (dot != std::string_view::npos && fraction.empty()))
        return std::nullopt;
    uint32_t value = 0;
    for (const char c : whole) {
        if (c < '0' || c > '1') return std::nullopt;
        value = static_cast<uint32_t>(c - '0') * kRateScale;
    }
    uint32_t scale = kRateScale / 10;
    for (const char c : fraction) {
        if (c < '0' || c > '9') return std::nullopt;
        value += static_cast<uint32_t>(c - '0') * scale;
        scale /= 10;
    }
    if (value > kRateScale) return std::nullopt;
    setting.rate = value;
    return setting;
}

std::string ChaosSettingText(const ChaosSetting& setting) {
    std::string fraction = std::to_string(kRateScale + setting.rate % kRateScale).substr(1);
    while (fraction.size() > 1 && fraction.back() == '0') fraction.pop_back();
    return std::to_string(setting.seed) + ":" + std::to_string(setting.rate / kRateScale) + "." +
           fraction;
}

uint64_t Generator::Below(uint64_t n) {
    if (n == 0) return 0;
    // Rejection keeps every value equally likely: draws at or above the largest multiple of n
    // that fits are drawn again (fewer than half of them, whatever n).
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    const uint64_t limit = max - (max % n + 1) % n;
    for (;;) {
        const uint64_t x = engine_();
        if (x <= limit) return x % n;
    }
}

Draw ChaosPlan::Next(Occasion occasion) {
    Draw d;
    if (generator_.Below(kRateScale) >= rate_) return d;
    switch (occasion) {
        case Occasion::Connection:
            d.fault = kConnectionFaults[generator_.Below(std::size(kConnectionFaults))];
            break;
        case Occasion::SerialSession:
            d.fault = kSessionFaults[generator_.Below(std::size(kSessionFaults))];
            break;
        case Occasion::Datagram:
            d.fault = kDatagramFaults[generator_.Below(std::size(kDatagramFaults))];
            break;
    }
    switch (d.fault) {
        case Fault::Reset:
        case Fault::StallForGood:
            d.bytes = Bytes(generator_);
            break;
        case Fault::Stall:
            d.bytes = Bytes(generator_);
            d.pause = Pause(generator_, kStallMin, kStallMax);
            break;
        case Fault::Restart:
            d.bytes = Bytes(generator_);
            d.pause = Pause(generator_, kRestartMin, kRestartMax);
            break;
        case Fault::Slow:
            d.rate = static_cast<uint32_t>(generator_.Between(kSlowMin, kSlowMax));
            break;
        case Fault::StatusLate:
            d.pause = Pause(generator_, kStatusLateMin, kStatusLateMax);
            break;
        case Fault::Late:
            d.pause = Pause(generator_, kLateMin, kLateMax);
            break;
        case Fault::None:
        case Fault::Close:
        case Fault::StatusMissing:
        case Fault::Dropped:
        case Fault::Doubled:
            break;
    }
    return d;
}

const char* FaultName(Fault fault) {
    switch (fault) {
        case Fault::None:
            return "none";
        case Fault::Reset:
            return "reset";
        case Fault::Stall:
            return "stall";
        case Fault::StallForGood:
            return "stall-for-good";
        case Fault::Slow:
            return "slow";
        case Fault::Close:
            return "close";
        case Fault::Restart:
            return "restart";
        case Fault::StatusLate:
            return "status-late";
        case Fault::StatusMissing:
            return "status-missing";
        case Fault::Dropped:
            return "dropped";
        case Fault::Doubled:
            return "doubled";
        case Fault::Late:
            return "late";
    }
    return "?";
}

std::string DrawText(const Draw& d) {
    switch (d.fault) {
        case Fault::None:
            return "no fault";
        case Fault::Reset:
            return "reset" + After(d.bytes);
        case Fault::Stall:
            return "stall for " + Ms(d.pause) + After(d.bytes);
        case Fault::StallForGood:
            return "stall for good" + After(d.bytes);
        case Fault::Slow:
            return "read slowly, " + std::to_string(d.rate) + " bytes a second";
        case Fault::Close:
            return "close at once";
        case Fault::Restart:
            return "restart for " + Ms(d.pause) + After(d.bytes) + " or at the end";
        case Fault::StatusLate:
            return "status answers " + Ms(d.pause) + " late";
        case Fault::StatusMissing:
            return "status requests not answered";
        case Fault::Dropped:
            return "dropped";
        case Fault::Doubled:
            return "doubled";
        case Fault::Late:
            return Ms(d.pause) + " late";
    }
    return "?";
}

void FaultTally::Count(Fault fault) {
    ++occasions_;
    ++faults_[static_cast<std::size_t>(fault)];
}

std::string FaultTally::Text() const {
    std::string text = std::to_string(Faults()) + (Faults() == 1 ? " fault in " : " faults in ") +
                       std::to_string(occasions_) + (occasions_ == 1 ? " draw" : " draws");
    const char* separator = ": ";
    for (std::size_t k = 1; k < kFaultKinds; ++k) {
        if (faults_[k] == 0) continue;
        text += separator;
        text += FaultName(static_cast<Fault>(k));
        text += " " + std::to_string(faults_[k]);
        separator = ", ";
    }
    return text;
}

}  // namespace sim::chaos
