#pragma once
// A firmware image in memory as the updater's byte source, for building its stream in tests and
// benchmarks.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "updater/download_stream.h"

namespace fakes {

class MemorySource final : public updater::ByteSource {
  public:
    explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    long Read(uint8_t* buffer, std::size_t length) override {
        const std::size_t n = std::min(length, bytes_.size() - at_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), n, buffer);
        at_ += n;
        return static_cast<long>(n);
    }

  private:
    std::vector<uint8_t> bytes_;
    std::size_t at_ = 0;
};

}  // namespace fakes
