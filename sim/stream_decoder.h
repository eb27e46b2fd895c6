#pragma once
// The virtual printer's reading of its byte stream: text (GBK in Chinese mode, else the selected
// code page, or UTF-8 once FS ( C selects it), the standard ESC/POS commands, setting frames by
// their table entry, the firmware download and the character-data download. Fed in chunks of any
// size; every byte ends up in exactly one event, so nothing the printer received goes unseen
// (unknown bytes become hex events). Memory stays small: data blocks a length field announces are
// counted, not held. A PrintObserver (the paper) sees what the printer prints, data blocks whole.
//
// A carriage return is no text: inside a line it belongs to the line's event, right after a line's
// LF to that line's event too (encoders that end lines with LF CR stay one line a line), before a
// LF to the feed; a lone one before a command is an "esc/pos carriage return" event.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/hex_text.h"
#include "sim/escpos_commands.h"
#include "sim/printer_text.h"
#include "updater/download_stream.h"

namespace sim {

enum class EventKind {
    Text,           // printable text up to and including its line end, shown as UTF-8
    Feed,           // line feeds with no text before them
    EscPos,         // a standard command (initialise, barcode, raster image, cut, ...)
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
    // What it is: "cut", "cutter", "download mode"; for text and hex empty, or the code page of
    // text iconv cannot read ("code page 1").
    std::string title;
    std::string detail;   // the values, readable
    uint64_t offset = 0;  // stream position of its first byte
    uint64_t length = 0;  // bytes it covers
    // Setting: the whole frame; Unknown: the bytes; EscPos: its bytes, of a data block only the
    // first (a 2D symbol's text), at most escpos::kMaxKept.
    std::vector<uint8_t> frame;
    bool checksumOk = false;  // Firmware summary: the received checksum matched
};

// "setting cutter: 00 (On)", "text: Hello", "hex: 1B 07".
std::string Describe(const Event& event);

using platform::HexBytes;  // "1F 1B 75"

// What the printer was sent to print, in stream order, for the paper: text with the coding that
// reads it, line feeds, commands, and the full data of images and symbols as it arrives (events
// keep at most escpos::kMaxKept bytes of it). Setting frames, downloads and unknown bytes are not
// passed on; a command cut short by the end of the stream is not either, past its data so far.
// Each call says where its bytes start in the stream (`at`, as Event::offset counts), so the paper
// can tell which bytes drew what.
class PrintObserver {
  public:
    virtual ~PrintObserver() = default;
    // Printable bytes read with `coding`: text, HT, CR, and the LF that ends a line of text; they
    // lie one after another from `at`. A character is split across two calls only when an idle
    // flush fell inside it.
    virtual void Text(std::span<const uint8_t> bytes, const TextCoding& coding, uint64_t at) = 0;
    // Line feeds with no text before them on their line; `at`: the first byte of their run (a
    // carriage return before them belongs to it).
    virtual void LineFeeds(uint64_t count, uint64_t at) = 0;
    // A command starting at `at`: all its bytes when `data` is 0; else its header, and its `data`
    // bytes follow in Data() calls (fewer when the stream ends first). FF comes as a command of
    // its own.
    virtual void Command(std::span<const uint8_t> header, uint64_t data, uint64_t at) = 0;
    // Data bytes from `at` on.
    virtual void Data(std::span<const uint8_t> chunk, uint64_t at) = 0;
};

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
    // A complete command waiting for the optional byte that may follow it (nullptr: none); it
    // is given out with the next byte, a flush or the end.
    const Event* Waiting() const { return held_ ? &heldEvent_ : nullptr; }

    // From now on `paper` (nullptr: none) sees what is printed; it must outlive its use here.
    void SetPaper(PrintObserver* paper) { paper_ = paper; }

  private:
    enum class Mode { Normal, Command, Data, Firmware, FirmwareChecksum, CharacterData };
    enum class Run { None, Text, Feed, Hex };

    void Byte(uint8_t b, uint64_t at);  // `at`: the byte's stream offset
    void NormalByte(uint8_t b, uint64_t at);
    void CommandByte(uint8_t b);
    void DataByte(uint8_t b, uint64_t at);
    // The command in `command_` is complete with its first `own` bytes (and its data); the rest is
    // read again.
    void CompleteCommand(std::size_t own);
    void FirmwareByte(uint8_t b);
    void CharacterDataByte(uint8_t b, uint64_t at);
    // The first `count` collected command bytes are unknown; the rest are read again.
    void Reject(std::size_t count, std::string title);

    void StartRun(Run run, uint64_t at);
    // `lineEnd`: the run ended at its LF; its event waits for a CR that may follow.
    void CloseRun(bool lineEnd = false);
    void TextByte(uint8_t b, uint64_t at);
    void CarriageReturn(uint64_t at);
    void Emit(Event&& event);
    void EmitCharacterSummary();

    Sink sink_;
    PrintObserver* paper_ = nullptr;
    uint64_t fed_ = 0;  // bytes given to Byte() so far; the next byte's offset

    Mode mode_ = Mode::Normal;
    TextCoding coding_;  // how text is read now

    Run run_ = Run::None;
    uint64_t runStart_ = 0;
    std::vector<uint8_t> runBytes_;  // text or hex bytes of the open run
    bool runHasText_ = false;        // the text run holds more than carriage returns
    uint64_t feedCount_ = 0;
    uint64_t feedBytes_ = 0;   // the feed run's bytes: its LFs and CRs
    unsigned trailBytes_ = 0;  // bytes still to come of the text run's last character
    TextCoding runCoding_;     // how the open text run is read

    std::vector<uint8_t> command_;  // bytes of the command being collected (bounded)
    uint64_t commandStart_ = 0;
    escpos::Extent extent_;      // the command's measure once known
    uint64_t dataReceived_ = 0;  // Data: bytes of its data block so far

    // A complete command that may take one trailing byte.
    bool held_ = false;
    escpos::Trailer heldTrailer_ = escpos::Trailer::None;
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
