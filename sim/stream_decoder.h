#pragma once
// The virtual printer's reading of its byte stream: text (GBK), the ESC/POS commands the tools
// send, setting frames by their table entry, the firmware download and the character-data
// download. Fed in chunks of any size; every byte ends up in exactly one event, so nothing the
// printer received goes unseen (unknown bytes become hex events).

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/hex_text.h"
#include "updater/download_stream.h"

namespace sim {

enum class EventKind {
    Text,           // printable text up to and including its line end, shown as UTF-8
    Feed,           // line feeds with no text before them
    EscPos,         // a standard command (initialise, drawer kick, cut, ...)
    Setting,        // a vendor setting frame, whole
    Firmware,       // the firmware download: mode command, then the blocks with their checksum
    CharacterData,  // the character-data download: mode command, then the records
    Unknown,        // bytes that start no known command, as hex
    Incomplete,     // a command cut short by the end of the stream
};

// The short kind word used in lines and JSON ("text", "setting", ...).
const char* KindName(EventKind kind);

struct Event {
    EventKind kind = EventKind::Unknown;
    std::string title;    // what it is: "cut", "cutter", "download mode"; empty for text and hex
    std::string detail;   // the values, readable
    uint64_t offset = 0;  // stream position of its first byte
    uint64_t length = 0;  // bytes it covers
    std::vector<uint8_t> frame;  // Setting: the whole frame; Unknown: the bytes
    bool checksumOk = false;     // Firmware summary: the received checksum matched
};

// "setting cutter: 00 (On)", "text: Hello", "hex: 1B 07".
std::string Describe(const Event& event);

using platform::HexBytes;  // "1F 1B 75"

class StreamDecoder {
  public:
    using Sink = std::function<void(Event&&)>;

    // Longest text event (a longer line is shown in parts, never splitting a character) and hex
    // event.
    static constexpr std::size_t kTextLimit = 512;
    static constexpr std::size_t kHexLimit = 32;

    explicit StreamDecoder(Sink sink) : sink_(std::move(sink)) {}

    void Feed(std::span<const uint8_t> bytes);
    // The stream went quiet: text, feeds, hex and a command waiting for an optional trailing byte
    // are given out; a command or download in progress keeps waiting for its bytes.
    void Flush();
    // The stream ended: everything held is given out, a command cut short as Incomplete.
    void Finish();

    uint64_t BytesFed() const { return fed_; }

  private:
    enum class Mode { Normal, Command, Firmware, FirmwareChecksum, CharacterData };
    enum class Run { None, Text, Feed, Hex };

    void Byte(uint8_t b, uint64_t at);  // `at`: the byte's stream offset
    void NormalByte(uint8_t b, uint64_t at);
    void CommandByte(uint8_t b);
    void FirmwareByte(uint8_t b);
    void CharacterDataByte(uint8_t b, uint64_t at);
    // The first `count` collected command bytes are unknown; the rest are read again.
    void Reject(std::size_t count, std::string title);

    void StartRun(Run run, uint64_t at);
    void CloseRun();
    void Emit(Event&& event);
    void EmitCharacterSummary();

    Sink sink_;
    uint64_t fed_ = 0;  // bytes given to Byte() so far; the next byte's offset

    Mode mode_ = Mode::Normal;

    Run run_ = Run::None;
    uint64_t runStart_ = 0;
    std::vector<uint8_t> runBytes_;  // text or hex bytes of the open run
    uint64_t feedCount_ = 0;
    bool midCharacter_ = false;  // the last text byte was a GBK lead byte

    std::vector<uint8_t> command_;  // bytes of the command being collected
    uint64_t commandStart_ = 0;

    // A complete command that may take one trailing pad byte.
    bool held_ = false;
    Event heldEvent_;

    // Firmware download.
    uint64_t downloadStart_ = 0;  // offset of the first block or record
    std::vector<uint8_t> block_;
    uint64_t blocks_ = 0;
    updater::DownloadChecksum checksum_;

    // Character data.
    uint64_t records_ = 0;
};

}  // namespace sim
