#pragma once
// What an ESC/POS printer tells about itself when asked: `GS I n` (printer ID and information) and
// the process ID response that `GS ( H` fn 48 asks for. One encoding for the virtual printer's
// answers and any tool that reads them.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace commands {

// The one-byte IDs (GS I 1/49, 2/50, 3/51) and the texts (GS I 65 to 69).
struct PrinterIdentity {
    uint8_t modelId = 0x01;
    uint8_t typeId = 0x03;  // bit 0: multi-byte characters, bit 1: an autocutter
    uint8_t versionId = 0x01;
    std::string firmware;
    std::string maker;
    std::string model;
    std::string serialNumber;
    std::string language;  // the font of its language, e.g. "CHINA GB2312"
};

// Longest text of a GS I answer; a text holds printable ASCII only (its answer ends at a NUL).
inline constexpr std::size_t kMaxInfoText = 40;
bool IsInfoText(std::string_view text);

// What GS I n asks for ("model ID", "firmware version"), nullptr when n names nothing answered
// here (the model-dependent information blocks among them).
const char* PrinterInfoName(uint8_t n);
// The answer: one byte for an ID, else 5F, the text, 00. Nothing when n names nothing.
std::optional<std::vector<uint8_t>> PrinterInfoAnswer(const PrinterIdentity& identity, uint8_t n);

// GS ( H pL pH fn m d1 d2 d3 d4 with pL pH = 6, fn = m = 48 and each d printable: the process ID
// d1-d4; nothing for any other GS ( H.
std::optional<std::array<uint8_t, 4>> ProcessIdOf(std::span<const uint8_t> command);
// 37 22 d1 d2 d3 d4 00, sent once the data before the request has been processed.
std::array<uint8_t, 7> ProcessIdResponse(const std::array<uint8_t, 4>& id);

}  // namespace commands
