#include "link/command_buffer.h"

#include <algorithm>
#include <cstring>

namespace printerlink {

int CommandBuffer::Submit(const uint8_t* bytes, std::size_t length, AfterCommand after) {
    if (bytes == nullptr || length == 0) return 1;  // nothing to send
    const std::size_t kept = std::min(length, kCommandBufferSize);
    {
        std::lock_guard lock(mutex_);
        std::memcpy(next_.bytes.data(), bytes, kept);
        next_.length = kept;
        next_.sent = 0;
        next_.partialOn = PortKind::None;
        next_.after = after;
        hasNext_ = true;
    }
    changed_.notify_all();
    return 1;
}

bool CommandBuffer::Idle() const {
    std::lock_guard lock(mutex_);
    return !hasNext_ && !held_;
}

bool CommandBuffer::Waiting() const {
    std::lock_guard lock(mutex_);
    return hasNext_;
}

bool CommandBuffer::WaitIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return !hasNext_ && !held_; });
}

bool CommandBuffer::Take(PendingCommand& out) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return hasNext_ || stop_; });
    if (stop_) return false;
    out = next_;
    hasNext_ = false;
    held_ = true;
    return true;
}

CommandBuffer::Resume CommandBuffer::PauseBeforeRetry(PendingCommand& held,
                                                      std::chrono::milliseconds pause) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, pause, [this] { return hasNext_ || stop_; });
    if (stop_) return Resume::Stopped;
    if (!hasNext_) return Resume::Retry;
    held = next_;
    hasNext_ = false;
    return Resume::Replaced;
}

void CommandBuffer::Done() {
    {
        std::lock_guard lock(mutex_);
        held_ = false;
    }
    changed_.notify_all();
}

void CommandBuffer::Abandon(const PendingCommand& held) {
    {
        std::lock_guard lock(mutex_);
        if (!hasNext_) {
            next_ = held;
            hasNext_ = true;
        }
        held_ = false;
    }
    changed_.notify_all();
}

void CommandBuffer::RequestStop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
}

bool CommandBuffer::StopRequested() const {
    std::lock_guard lock(mutex_);
    return stop_;
}

void CommandBuffer::ClearStop() {
    std::lock_guard lock(mutex_);
    stop_ = false;
}

int SubmitCommand(CommandBuffer& buffer, const uint8_t* bytes, std::size_t length,
                  AfterCommand after) {
    return buffer.Submit(bytes, length, after);
}

bool IsIdle(const CommandBuffer& buffer) {
    return buffer.Idle();
}

CommandBuffer& ProcessCommandBuffer() {
    // Never destroyed: the sender thread may still use it while the process exits.
    static CommandBuffer* const buffer = new CommandBuffer;
    return *buffer;
}

}  // namespace printerlink
