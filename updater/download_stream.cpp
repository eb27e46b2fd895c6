#include "updater/download_stream.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace updater {
namespace {

constexpr std::array<uint8_t, 2> kFirmwareCommand{0x1B, 0x2B};
constexpr std::array<uint8_t, 2> kCharacterDataCommand{0x1B, 0x1D};
constexpr uint8_t kRecordMark = 0x2A;

// Fills `buffer` as far as the source goes: short reads are continued so a block is only short at
// the end of the file. Returns the count, or -1 (errno set) on a read error.
long FillBuffer(ByteSource& source, uint8_t* buffer, std::size_t length) {
    std::size_t got = 0;
    while (got < length) {
        const long n = source.Read(buffer + got, length - got);
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

}  // namespace

InputFile::~InputFile() {
    Close();
}

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), error_(other.error_), size_(other.size_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        error_ = other.error_;
        size_ = other.size_;
    }
    return *this;
}

void DownloadChecksum::Add(const uint8_t* bytes, std::size_t length) {
    uint32_t sum = sum_;
    for (std::size_t i = 0; i < length; ++i) sum += bytes[i];  // unsigned: wraps mod 2^32
    sum_ = sum;
}

std::array<uint8_t, 4> DownloadChecksum::LittleEndian() const {
    return {static_cast<uint8_t>(sum_), static_cast<uint8_t>(sum_ >> 8),
            static_cast<uint8_t>(sum_ >> 16), static_cast<uint8_t>(sum_ >> 24)};
}

StreamResult SendFirmwareStream(ByteSource& source, StreamSink& sink,
                                const BlockProgress& progress) {
    StreamResult result;
    sink.Begin(StreamPart::Command);
    (void)sink.Write(kFirmwareCommand.data(), kFirmwareCommand.size());

    DownloadChecksum checksum;
    std::array<uint8_t, kImageBlockSize> block{};
    for (;;) {
        const long n = FillBuffer(source, block.data(), block.size());
        if (n < 0) {
            result.status = StreamStatus::ReadFailed;
            result.error = errno;
            return result;
        }
        if (n == 0) break;
        std::fill(block.begin() + n, block.end(), uint8_t{0});
        sink.Begin(StreamPart::Block);
        if (!sink.Write(block.data(), block.size())) {
            result.status = StreamStatus::BlockFailed;
            return result;
        }
        checksum.Add(block.data(), block.size());
        result.imageBytes += static_cast<uint64_t>(n);
        if (progress) progress(result.imageBytes);
    }

    block.fill(kTerminatorByte);
    checksum.Add(block.data(), block.size());
    result.checksum = checksum.Value();
    const auto sum = checksum.LittleEndian();
    const std::size_t half = block.size() / 2;
    const auto write = [&sink](StreamPart part, const uint8_t* bytes, std::size_t length) {
        sink.Begin(part);
        return sink.Write(bytes, length);
    };
    if (!write(StreamPart::TerminatorFirst, block.data(), half) ||
        !write(StreamPart::TerminatorSecond, block.data(), half) ||
        !write(StreamPart::Checksum, sum.data(), sum.size())) {
        result.status = StreamStatus::TailFailed;
    }
    return result;
}

StreamResult SendCharacterDataStream(ByteSource& source, StreamSink& sink) {
    StreamResult result;
    sink.Begin(StreamPart::Command);
    if (!sink.Write(kCharacterDataCommand.data(), kCharacterDataCommand.size())) {
        result.status = StreamStatus::CommandFailed;
        return result;
    }
    std::array<uint8_t, kCharacterDataPart + 2> record{};
    record.front() = kRecordMark;
    record.back() = kRecordMark;
    uint8_t* data = record.data() + 1;
    for (;;) {
        const long n = FillBuffer(source, data, kCharacterDataPart);
        if (n < 0) {
            result.status = StreamStatus::ReadFailed;
            result.error = errno;
            return result;
        }
        if (n == 0) return result;
        std::fill(data + n, data + kCharacterDataPart, uint8_t{0});
        sink.Begin(StreamPart::Block);
        if (!sink.Write(record.data(), record.size())) {
            result.status = StreamStatus::BlockFailed;
            return result;
        }
        result.imageBytes += static_cast<uint64_t>(n);
    }
}

uint64_t FirmwareStreamSize(uint64_t imageSize) {
    const uint64_t blocks = (imageSize + kImageBlockSize - 1) / kImageBlockSize;
    return kFirmwareCommand.size() + blocks * kImageBlockSize + kImageBlockSize + 4;
}

int ProgressPosition(uint64_t sent, uint64_t size) {
    if (size == 0 || sent >= size) return 100;
    return static_cast<int>(sent * 100 / size);
}

}  // namespace updater
