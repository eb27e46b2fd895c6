#include "sim/chaos/stream_fault.h"

#include <algorithm>

namespace sim::chaos {
namespace {

// Faults that happen at a point of the stream.
bool AtPoint(Fault fault) {
    return fault == Fault::Reset || fault == Fault::Stall || fault == Fault::StallForGood ||
           fault == Fault::Restart;
}

}  // namespace

uint64_t StreamFault::Room(uint64_t received, uint64_t wanted) const {
    if (met_ || !AtPoint(draw_.fault)) return wanted;
    return std::min(wanted, draw_.bytes - std::min(draw_.bytes, received));
}

Fault StreamFault::Reached(uint64_t received) {
    if (met_ || !AtPoint(draw_.fault) || received < draw_.bytes) return Fault::None;
    met_ = true;
    return draw_.fault;
}

Fault StreamFault::Ended() {
    if (met_ || draw_.fault != Fault::Restart) return Fault::None;
    met_ = true;
    return Fault::Restart;
}

bool StreamFault::HoldAnswer(std::vector<uint8_t> bytes, Clock::time_point now) {
    if (draw_.fault != Fault::StatusLate) return false;
    Clock::time_point due = now + draw_.pause;
    if (!held_.empty()) due = std::max(due, held_.back().due);
    held_.push_back({due, std::move(bytes)});
    return true;
}

std::vector<std::vector<uint8_t>> StreamFault::DueAnswers(Clock::time_point now) {
    std::vector<std::vector<uint8_t>> due;
    while (!held_.empty() && held_.front().due <= now) {
        due.push_back(std::move(held_.front().bytes));
        held_.pop_front();
    }
    return due;
}

std::optional<StreamFault::Clock::time_point> StreamFault::NextDue() const {
    if (held_.empty()) return std::nullopt;
    return held_.front().due;
}

}  // namespace sim::chaos
