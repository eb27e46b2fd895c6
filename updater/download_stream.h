#pragma once
// The firmware download stream and the character-data stream, written through a sink so the USB
// and the network transport send exactly the same bytes. Files are read block by block and never
// held in memory as a whole.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace updater {

inline constexpr const char* kImageFileName = "FWIMAGE_80.bin";
inline constexpr const char* kCharacterDataFileName = "gb2312";

inline constexpr std::size_t kImageBlockSize = 512;
inline constexpr std::size_t kCharacterDataPart = 256;
inline constexpr uint8_t kTerminatorByte = 0x55;

// The pieces of a stream, in the order they are written.
enum class StreamPart {
    Command,           // the mode command
    Block,             // an image block or a character-data record
    TerminatorFirst,   // the first 256 x 55
    TerminatorSecond,  // the second 256 x 55
    Checksum,
};

// Where stream bytes go. True when all `length` bytes were accepted.
class StreamSink {
  public:
    virtual ~StreamSink() = default;
    virtual bool Write(const uint8_t* bytes, std::size_t length) = 0;
    // Told before each Write what it carries, for transports that pace the pieces.
    virtual void Begin(StreamPart part) { (void)part; }
};

// Sequential reads from an image. Read returns the count read (0 at the end), or -1 with errno
// set on a read error.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual long Read(uint8_t* buffer, std::size_t length) = 0;
};

// A file opened read-only and exclusively (POSIX: flock; Windows: no sharing), so a file another
// copy is sending cannot be opened a second time.
class InputFile final : public ByteSource {
  public:
    InputFile() = default;
    ~InputFile() override;
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens an existing regular file. On failure IsOpen() is false and Error() holds an errno
    // value, also on Windows (ENOENT when it is missing, EWOULDBLOCK when another holder has it,
    // EISDIR for a folder).
    static InputFile Open(const std::filesystem::path& path);

    bool IsOpen() const { return handle_ != -1; }
    int Error() const { return error_; }
    // Length at the time of opening.
    uint64_t Size() const { return size_; }
    // Resumes after signals; on failure -1 with errno set.
    long Read(uint8_t* buffer, std::size_t length) override;
    void Close();

  private:
    std::intptr_t handle_ = -1;  // a descriptor (POSIX) or a file handle (Windows)
    int error_ = 0;
    uint64_t size_ = 0;
};

// 32-bit additive checksum over the bytes as sent, wrapping modulo 2^32.
class DownloadChecksum {
  public:
    explicit DownloadChecksum(uint32_t start = 0) : sum_(start) {}
    void Add(const uint8_t* bytes, std::size_t length);
    uint32_t Value() const { return sum_; }
    std::array<uint8_t, 4> LittleEndian() const;

  private:
    uint32_t sum_;
};

enum class StreamStatus {
    Done,
    CommandFailed,  // the mode command of the character data was not accepted
    ReadFailed,     // the file could not be read part-way; error holds the errno
    BlockFailed,    // a block or record was not accepted
    TailFailed,     // the terminator or the checksum was not accepted
};

struct StreamResult {
    StreamStatus status = StreamStatus::Done;
    int error = 0;            // errno of a read failure
    uint64_t imageBytes = 0;  // file bytes sent in whole blocks
    uint32_t checksum = 0;    // the checksum as computed (also when the tail failed)
};

// After every block: the count of file bytes sent so far (without the fill of the last block).
using BlockProgress = std::function<void(uint64_t imageBytesSent)>;

// `1B 2B` (its acceptance is not examined: a missing printer fails at the first block), then
// every block of `source` as a full 512 bytes with the rest of the last one 00, the terminator
// as two writes of 256 x 55, the checksum least significant byte first. A failed block or read
// stops the stream; nothing of the tail goes out then.
[[nodiscard]] StreamResult SendFirmwareStream(ByteSource& source, StreamSink& sink,
                                              const BlockProgress& progress = {});

// `1B 1D` (stops when not accepted), then for every part of up to 256 bytes one 258-byte record
// `2A`, 256 bytes (00 after the end of the file), `2A`.
[[nodiscard]] StreamResult SendCharacterDataStream(ByteSource& source, StreamSink& sink);

// Bytes of the firmware stream for an image of `imageSize` bytes: the command, the whole blocks,
// the terminator and the checksum.
uint64_t FirmwareStreamSize(uint64_t imageSize);

// Bar position for `sent` of `size` bytes: 0..100, 100 once everything went (also for size 0).
int ProgressPosition(uint64_t sent, uint64_t size);

}  // namespace updater
