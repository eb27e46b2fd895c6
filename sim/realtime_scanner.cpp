#include "sim/realtime_scanner.h"

#include "sim/escpos_commands.h"

namespace sim {

void RealtimeScanner::Scan(std::span<const uint8_t> bytes, const Found& found) {
    for (std::size_t i = 0; i < bytes.size(); ++i) Byte(bytes[i], i + 1, found);
}

void RealtimeScanner::Byte(uint8_t b, std::size_t end, const Found& found) {
    if (partial_.empty()) {
        if (b == escpos::kDle) partial_.push_back(b);
        return;
    }
    partial_.push_back(b);
    const escpos::Extent e = escpos::Measure(partial_);
    if (e.kind == escpos::Extent::Kind::More ||
        (e.kind == escpos::Extent::Kind::Known && e.header > partial_.size()))
        return;
    const std::vector<uint8_t> collected = std::move(partial_);
    partial_.clear();
    std::size_t own = 1;  // Unknown: the DLE started nothing; the bytes after it are read again
    if (e.kind == escpos::Extent::Kind::Known) {
        own = e.header;
        if (found) found(std::span<const uint8_t>(collected).first(own), end);
    }
    for (std::size_t i = own; i < collected.size(); ++i) Byte(collected[i], end, found);
}

}  // namespace sim
