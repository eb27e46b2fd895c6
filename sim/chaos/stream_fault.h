#pragma once
// A fault drawn for one stream (a TCP connection or a serial session) as its reading meets it:
// how much may be read before the fault's point, what happens there (once), how fast it may read,
// and the status answers it holds back. Pure: the server does the reading, closing and sending.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/chaos/chaos_plan.h"

namespace sim::chaos {

class StreamFault {
  public:
    using Clock = std::chrono::steady_clock;

    StreamFault() = default;
    explicit StreamFault(const Draw& draw) : draw_(draw) {}

    const Draw& Drawn() const { return draw_; }
    Fault Kind() const { return draw_.fault; }

    // The most that may be read now, `received` bytes being read already: up to the fault's
    // point while it lies ahead; `wanted` otherwise.
    uint64_t Room(uint64_t received, uint64_t wanted) const;

    // What the stream meets once `received` bytes are read: the reset, stall or restart at its
    // point, once (None before it, and after it was met).
    Fault Reached(uint64_t received);
    // The stream ends (closed by its side, or the simulator stops): a restart not met yet is met
    // now (Fault::Restart), once.
    Fault Ended();

    // Bytes a second the stream is read at, 0 for no limit.
    uint32_t Rate() const { return draw_.fault == Fault::Slow ? draw_.rate : 0; }
    // Status requests are not answered.
    bool Unanswered() const { return draw_.fault == Fault::StatusMissing; }

    // A status answer for later: its bytes are due `pause` after `now` (in order behind any
    // already held back); false when this fault holds nothing back.
    bool HoldAnswer(std::vector<uint8_t> bytes, Clock::time_point now);
    // Answers due at `now`, in order, taken out.
    std::vector<std::vector<uint8_t>> DueAnswers(Clock::time_point now);
    // When the next held answer is due.
    std::optional<Clock::time_point> NextDue() const;

  private:
    struct Held {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
    };
    Draw draw_;
    bool met_ = false;
    std::deque<Held> held_;
};

}  // namespace sim::chaos
