#pragma once
// What a window handed to the command buffer, taken as the sender takes it.

#include <optional>
#include <vector>

#include "link/command_buffer.h"

namespace fakes {

// The command pending in `buffer`, taken off it; nullopt when nothing is pending.
inline std::optional<std::vector<uint8_t>> TakeSubmitted(printerlink::CommandBuffer& buffer) {
    if (buffer.Idle()) return std::nullopt;
    printerlink::PendingCommand command;
    if (!buffer.Take(command)) return std::nullopt;
    buffer.Done();
    return std::vector<uint8_t>(command.bytes.begin(),
                                command.bytes.begin() + static_cast<long>(command.length));
}

}  // namespace fakes
