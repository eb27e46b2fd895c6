#pragma once
// The real-time commands (DLE EOT, DLE ENQ, DLE DC4) found in raw bytes as they arrive, whatever
// surrounds them: a printer that cannot print keeps what it receives in its buffer, yet still
// answers these at once, so it finds them as its receive side sees them, even inside an image's
// data. Measured by the same command table as the decoder.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace sim {

class RealtimeScanner {
  public:
    // A complete command and the index in the scanned bytes just past its last byte (its first
    // bytes may have come in an earlier call).
    using Found = std::function<void(std::span<const uint8_t> command, std::size_t end)>;

    // Finds the commands in `bytes`; `found` may be empty (the bytes only keep the context).
    void Scan(std::span<const uint8_t> bytes, const Found& found);

  private:
    // `end`: the index just past the byte being scanned (bytes scanned again precede it).
    void Byte(uint8_t b, std::size_t end, const Found& found);

    std::vector<uint8_t> partial_;  // a command begun: at most a real-time command's length
};

}  // namespace sim
