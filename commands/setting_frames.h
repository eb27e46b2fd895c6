#pragma once
// The vendor setting frame: 1F 1B, function code, optional second code byte, parameters, zero
// filled to a length fixed per function. One table of function codes serves every builder.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <vector>

namespace commands {

struct FrameLayout {
    uint8_t code;
    std::optional<uint8_t> secondCode;  // fixed byte 3, when the function has one
    std::size_t length;                 // whole frame, sent with its trailing zeros
    const char* setting;                // what it sets, for readers and messages
};

// Every function code of the system, ascending.
std::span<const FrameLayout> SettingFrameTable();
// The entry for `code`, or null.
const FrameLayout* FindFrameLayout(uint8_t code);

// Builds the frame of `code`: 1F 1B code [second code] params..., zero filled to its length.
// Parameters that would run past the frame's length are cut (never written past it). A code
// missing from the table gives an empty frame.
std::vector<uint8_t> BuildSettingFrame(uint8_t code, std::span<const uint8_t> params = {});
std::vector<uint8_t> BuildSettingFrame(uint8_t code, std::initializer_list<uint8_t> params);

// A drop-down list's value byte: the zero-based position truncated to 8 bits; -1 (no selection)
// gives FF.
inline uint8_t ListValue(int position) {
    return static_cast<uint8_t>(position & 0xFF);
}

}  // namespace commands
