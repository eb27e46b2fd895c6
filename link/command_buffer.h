#pragma once
// The single pending printer command shared by the UI thread and the sender thread.
//
// SubmitCommand copies the bytes and returns at once. A command submitted while another is being
// written waits until that write is finished; a further submission before it starts replaces it.
// No write ever mixes bytes of two commands. Idle means nothing pending and nothing being written.
//
// The buffer has one slot for the next command (replaced by every submission) and a flag for the
// command the sender holds (being written, or kept for a retry).

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "link/port_choice.h"

namespace printerlink {

inline constexpr std::size_t kCommandBufferSize = 2048;

class CommandBuffer;

// What the sender does once a command is done, besides what it always does (a command that
// failed on a port with a way back has the printer asked its status).
enum class AfterCommand {
    Nothing,
    AskStatus,  // ask the printer its status (the test page: how the printer is after it)
};

// Copies `length` bytes (at most kCommandBufferSize are kept, never more) into `buffer`, wakes
// the sender and returns 1. A 0-length command is accepted and ignored by the sender.
int SubmitCommand(CommandBuffer& buffer, const uint8_t* bytes, std::size_t length,
                  AfterCommand after = AfterCommand::Nothing);

// True when nothing is pending and nothing is being written (the auto-send test).
bool IsIdle(const CommandBuffer& buffer);

// The process-wide buffer of Tessary.
CommandBuffer& ProcessCommandBuffer();

// A command as the sender holds it: the bytes, and how far it has been sent.
struct PendingCommand {
    std::array<uint8_t, kCommandBufferSize> bytes{};
    std::size_t length = 0;
    std::size_t sent = 0;                 // first byte not yet sent
    PortKind partialOn = PortKind::None;  // the port the first `sent` bytes went to
    AfterCommand after = AfterCommand::Nothing;

    std::size_t Rest() const { return length - sent; }
    const uint8_t* Next() const { return bytes.data() + sent; }
};

class CommandBuffer {
  public:
    CommandBuffer() = default;
    CommandBuffer(const CommandBuffer&) = delete;
    CommandBuffer& operator=(const CommandBuffer&) = delete;

    // UI side (SubmitCommand / IsIdle).
    int Submit(const uint8_t* bytes, std::size_t length,
               AfterCommand after = AfterCommand::Nothing);
    bool Idle() const;
    // A submitted command waits to be taken (what the sender does between commands gives way).
    bool Waiting() const;
    // Waits until idle; false when `timeout` passed first.
    bool WaitIdle(std::chrono::milliseconds timeout) const;

    // Sender side. Take blocks until a command is submitted and hands it over (the buffer then
    // counts as busy); false when a stop was requested.
    bool Take(PendingCommand& out);
    enum class Resume { Retry, Replaced, Stopped };
    // Keeps `held` for a retry: waits `pause`, cut short by a new submission (which then replaces
    // `held`) or a stop.
    Resume PauseBeforeRetry(PendingCommand& held, std::chrono::milliseconds pause);
    // The held command was written or dropped.
    void Done();
    // The sender ends while holding a command kept for retry: it stays pending unless a newer
    // one is already waiting.
    void Abandon(const PendingCommand& held);

    void RequestStop();
    void ClearStop();
    // A stop was requested: a write that waits on the printer gives up.
    bool StopRequested() const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    PendingCommand next_;
    bool hasNext_ = false;
    bool held_ = false;
    bool stop_ = false;
};

}  // namespace printerlink
