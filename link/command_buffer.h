#pragma once
// The single pending printer command shared by the UI thread and the sender thread.
//
// SubmitCommand copies the bytes and returns at once. A command submitted while another is being
// written waits until that write is finished; a further submission before it starts replaces it.
// No write ever mixes bytes of two commands. Idle means nothing pending and nothing being written.

#include <cstddef>
#include <cstdint>

namespace printerlink {

inline constexpr std::size_t kCommandBufferSize = 2048;

class CommandBuffer;  // defined by the link library (members private to it)

// Copies `length` bytes (at most kCommandBufferSize are kept, never more) into `buffer`, wakes
// the sender and returns 1. A 0-length command is accepted and ignored by the sender.
int SubmitCommand(CommandBuffer& buffer, const uint8_t* bytes, std::size_t length);

// True when nothing is pending and nothing is being written (the auto-send test).
bool IsIdle(const CommandBuffer& buffer);

// The process-wide buffer of Tessary.
CommandBuffer& ProcessCommandBuffer();

}  // namespace printerlink
