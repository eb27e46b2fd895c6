#include "sim/stream_decoder.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "commands/setting_frames.h"
#include "sim/printer_text.h"
#include "sim/setting_text.h"

namespace sim {
namespace {

constexpr std::size_t kRecordSize = updater::kCharacterDataPart + 2;
constexpr uint8_t kRecordMark = 0x2A;
constexpr uint8_t kUs = 0x1F;        // starts a vendor setting frame
constexpr uint8_t kFormFeed = 0x0C;  // a whole command by itself
constexpr uint8_t kLineFeed = 0x0A;
constexpr uint8_t kCarriageReturn = 0x0D;
// Text bytes of one event: room is left for the LF that ends the line and a CR after it.
constexpr std::size_t kTextBytes = StreamDecoder::kTextLimit - 2;
constexpr std::size_t kCutShown = 64;  // bytes of a cut-off command shown as hex

bool IsTextByte(uint8_t b) {
    return (b >= 0x20 && b != 0x7F) || b == 0x09;
}
bool IsCommandStart(uint8_t b) {
    return escpos::IsCommandStart(b) || b == kUs;
}
// "1 block", "2 blocks".
std::string Count(uint64_t n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

// The firmware and character-data mode commands.
constexpr uint8_t kFirmwareMode[] = {0x1B, 0x2B};
constexpr uint8_t kCharacterMode[] = {0x1B, 0x1D};

}  // namespace

const char* KindName(EventKind kind) {
    switch (kind) {
        case EventKind::Text:
            return "text";
        case EventKind::Feed:
            return "feed";
        case EventKind::EscPos:
            return "esc/pos";
        case EventKind::Setting:
            return "setting";
        case EventKind::Firmware:
            return "firmware";
        case EventKind::CharacterData:
            return "character-data";
        case EventKind::Unknown:
            return "hex";
        case EventKind::Incomplete:
            return "incomplete";
    }
    return "?";
}

std::string Describe(const Event& event) {
    std::string line = KindName(event.kind);
    if (!event.title.empty()) line += " " + event.title;
    if (!event.detail.empty()) line += ": " + event.detail;
    return line;
}

void StreamDecoder::Feed(std::span<const uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        if (mode_ == Mode::Data && command_.size() >= extent_.header + extent_.keep) {
            // Data beyond what the reading keeps is only counted, however large.
            const uint64_t n = std::min<uint64_t>(extent_.data - dataReceived_, bytes.size() - i);
            if (paper_ != nullptr)
                paper_->Data(bytes.subspan(i, static_cast<std::size_t>(n)), fed_);
            dataReceived_ += n;
            fed_ += n;
            i += static_cast<std::size_t>(n);
            if (dataReceived_ == extent_.data) CompleteCommand(command_.size());
            continue;
        }
        Byte(bytes[i++], fed_++);
    }
}

void StreamDecoder::Byte(uint8_t b, uint64_t at) {
    if (held_) {
        held_ = false;
        if (heldTrailer_ == escpos::Trailer::Cr && b == kCarriageReturn) {
            heldEvent_.length += 1;
            Emit(std::move(heldEvent_));
            return;
        }
        const bool pad = heldTrailer_ == escpos::Trailer::Pad && (b == 0x00 || b == 0x01);
        if (pad || (heldTrailer_ == escpos::Trailer::Nul && b == 0x00)) {
            heldEvent_.length += 1;
            heldEvent_.frame.push_back(b);
            if (pad) {
                heldEvent_.detail += (heldEvent_.detail.empty() ? "+ pad " : " + pad ") +
                                     HexBytes(std::span<const uint8_t>(&b, 1));
            }
            Emit(std::move(heldEvent_));
            return;
        }
        Emit(std::move(heldEvent_));
    }
    switch (mode_) {
        case Mode::Normal:
            NormalByte(b, at);
            break;
        case Mode::Command:
            CommandByte(b);
            break;
        case Mode::Data:
            DataByte(b, at);
            break;
        case Mode::Firmware:
        case Mode::FirmwareChecksum:
            FirmwareByte(b);
            break;
        case Mode::CharacterData:
            CharacterDataByte(b, at);
            break;
    }
}

void StreamDecoder::StartRun(Run run, uint64_t at) {
    run_ = run;
    runStart_ = at;
    runBytes_.clear();
    runHasText_ = false;
    runCoding_ = coding_;
    feedCount_ = 0;
    feedBytes_ = 0;
    trailBytes_ = 0;
}

void StreamDecoder::NormalByte(uint8_t b, uint64_t at) {
    if (b == kLineFeed) {
        if (run_ == Run::Text && runHasText_) {
            runBytes_.push_back(b);
            CloseRun(true);
            return;
        }
        if (run_ == Run::Text) {  // only carriage returns so far: they go with the feed
            run_ = Run::Feed;
            feedBytes_ = runBytes_.size();
            runBytes_.clear();
        } else if (run_ != Run::Feed) {
            CloseRun();
            StartRun(Run::Feed, at);
        }
        ++feedCount_;
        ++feedBytes_;
        return;
    }
    if (b == kCarriageReturn) return CarriageReturn(at);
    if (IsTextByte(b)) return TextByte(b, at);
    if (IsCommandStart(b)) {
        CloseRun();
        mode_ = Mode::Command;
        command_.assign(1, b);
        commandStart_ = at;
        return;
    }
    if (b == kFormFeed) {
        CloseRun();
        if (paper_ != nullptr) paper_->Command(std::span<const uint8_t>(&b, 1), 0, at);
        Event event;
        event.kind = EventKind::EscPos;
        event.title = "form feed";
        event.offset = at;
        event.length = 1;
        event.frame.assign(1, b);
        Emit(std::move(event));
        return;
    }
    if (run_ != Run::Hex || runBytes_.size() >= kHexLimit) {
        CloseRun();
        StartRun(Run::Hex, at);
    }
    runBytes_.push_back(b);
}

void StreamDecoder::TextByte(uint8_t b, uint64_t at) {
    // A character's bytes stay in one event: GBK pairs in Chinese mode, UTF-8 sequences.
    bool inside = trailBytes_ > 0;
    if (inside && coding_.utf8 && (b & 0xC0) != 0x80) inside = false;  // a broken sequence
    const unsigned trail = inside                            ? 0
                           : coding_.utf8                    ? Utf8Trail(b)
                           : coding_.chinese && IsGbkLead(b) ? 1
                                                             : 0;
    const std::size_t size = runBytes_.size();
    if (run_ != Run::Text || (!inside && size + 1 + trail > kTextBytes)) {
        CloseRun();
        StartRun(Run::Text, at);
    }
    runBytes_.push_back(b);
    runHasText_ = true;
    trailBytes_ = inside ? trailBytes_ - 1 : trail;
}

void StreamDecoder::CarriageReturn(uint64_t at) {
    if (run_ == Run::Feed) {
        ++feedBytes_;
        return;
    }
    if (run_ != Run::Text || runBytes_.size() >= kTextBytes) {
        CloseRun();
        StartRun(Run::Text, at);
    }
    runBytes_.push_back(kCarriageReturn);
    trailBytes_ = 0;
}

void StreamDecoder::Reject(std::size_t count, std::string title) {
    const std::vector<uint8_t> collected = std::move(command_);
    // A last byte that may begin a command or end a line is read again, not hidden in the hex.
    if (count > 1 && (IsCommandStart(collected[count - 1]) || collected[count - 1] == 0x0A))
        --count;
    const uint64_t start = commandStart_;
    command_.clear();
    mode_ = Mode::Normal;
    Event event;
    event.kind = EventKind::Unknown;
    event.title = std::move(title);
    event.frame.assign(collected.begin(), collected.begin() + static_cast<std::ptrdiff_t>(count));
    event.detail = HexBytes(event.frame);
    event.offset = start;
    event.length = count;
    Emit(std::move(event));
    for (std::size_t i = count; i < collected.size(); ++i) Byte(collected[i], start + i);
}

void StreamDecoder::CommandByte(uint8_t b) {
    command_.push_back(b);
    const std::span<const uint8_t> c = command_;
    if (c.size() < 2) return;
    if (c[0] == kUs) {
        if (c[1] != 0x1B) return Reject(1, {});
        if (c.size() < 3) return;
        const commands::FrameLayout* layout = commands::FindFrameLayout(c[2]);
        if (layout == nullptr) return Reject(3, "unknown setting code");
        if (layout->secondCode && c.size() == 4 && c[3] != *layout->secondCode)
            return Reject(3, std::string("not ") + layout->setting);
        if (c.size() < layout->length) return;
        Event event;
        event.kind = EventKind::Setting;
        event.title = layout->setting;
        event.detail = SettingDetail(*layout, c);
        event.offset = commandStart_;
        event.length = c.size();
        event.frame = std::move(command_);
        command_.clear();
        mode_ = Mode::Normal;
        Emit(std::move(event));
        return;
    }
    if (std::equal(c.begin(), c.end(), std::begin(kFirmwareMode), std::end(kFirmwareMode)) ||
        std::equal(c.begin(), c.end(), std::begin(kCharacterMode), std::end(kCharacterMode))) {
        const bool firmware = c[1] == kFirmwareMode[1];
        Event event;
        event.kind = firmware ? EventKind::Firmware : EventKind::CharacterData;
        event.title = "download mode";
        event.detail = HexBytes(c);
        event.offset = commandStart_;
        event.length = 2;
        command_.clear();
        mode_ = firmware ? Mode::Firmware : Mode::CharacterData;
        downloadStart_ = commandStart_ + 2;
        block_.clear();
        blocks_ = 0;
        records_ = 0;
        checksum_ = updater::DownloadChecksum();
        Emit(std::move(event));
        return;
    }
    const escpos::Extent extent = escpos::Measure(c);
    switch (extent.kind) {
        case escpos::Extent::Kind::More:
            return;
        case escpos::Extent::Kind::Unknown:
            return Reject(extent.header, {});
        case escpos::Extent::Kind::Known:
            break;
    }
    if (extent.header > c.size()) return;
    extent_ = extent;
    if (extent.data == 0) return CompleteCommand(extent.header);
    if (paper_ != nullptr) paper_->Command(c, extent.data, commandStart_);
    mode_ = Mode::Data;
    dataReceived_ = 0;
}

void StreamDecoder::DataByte(uint8_t b, uint64_t at) {
    if (paper_ != nullptr) paper_->Data(std::span<const uint8_t>(&b, 1), at);
    if (command_.size() < extent_.header + extent_.keep) command_.push_back(b);
    if (++dataReceived_ == extent_.data) CompleteCommand(command_.size());
}

void StreamDecoder::CompleteCommand(std::size_t own) {
    const std::vector<uint8_t> collected = std::move(command_);
    command_.clear();
    const uint64_t data = mode_ == Mode::Data ? extent_.data : 0;
    mode_ = Mode::Normal;
    const std::span<const uint8_t> command(collected.data(), own);
    if (paper_ != nullptr && data == 0) paper_->Command(command, 0, commandStart_);
    escpos::Reading reading = escpos::Read(command, data);
    Event event;
    event.kind = EventKind::EscPos;
    event.title = std::move(reading.title);
    event.detail = std::move(reading.detail);
    event.offset = commandStart_;
    event.length = data > 0 ? extent_.header + data : own;
    event.frame.assign(command.begin(), command.end());
    switch (extent_.effect) {
        case escpos::Effect::None:
            break;
        case escpos::Effect::Initialise:
            coding_ = TextCoding{};
            break;
        case escpos::Effect::ChineseOn:
            coding_.chinese = true;
            break;
        case escpos::Effect::ChineseOff:
            coding_.chinese = false;
            break;
        case escpos::Effect::CodePage:
            coding_.codePage = command[2];
            break;
        case escpos::Effect::Encoding:
            if (std::optional<bool> utf8 = escpos::SelectsUtf8(command)) coding_.utf8 = *utf8;
            break;
    }
    if (extent_.trailer != escpos::Trailer::None) {
        held_ = true;
        heldTrailer_ = extent_.trailer;
        heldEvent_ = std::move(event);
    } else {
        Emit(std::move(event));
    }
    // A byte that ended a field is no part of the command: it is read again.
    for (std::size_t i = own; i < collected.size(); ++i) Byte(collected[i], commandStart_ + i);
}

void StreamDecoder::FirmwareByte(uint8_t b) {
    block_.push_back(b);
    if (mode_ == Mode::FirmwareChecksum) {
        if (block_.size() < 4) return;
        const uint32_t received = static_cast<uint32_t>(block_[0]) | block_[1] << 8 |
                                  block_[2] << 16 | static_cast<uint32_t>(block_[3]) << 24;
        Event event;
        event.kind = EventKind::Firmware;
        event.title = "download";
        event.checksumOk = received == checksum_.Value();
        char text[120];
        if (event.checksumOk) {
            std::snprintf(text, sizeof text, "checksum ok (%08X)", received);
        } else {
            std::snprintf(text, sizeof text, "checksum mismatch: received %08X, computed %08X",
                          received, checksum_.Value());
        }
        event.detail = Count(blocks_, "block") + " (" +
                       std::to_string(blocks_ * updater::kImageBlockSize) + " bytes), " + text;
        event.offset = downloadStart_;
        event.length = (blocks_ + 1) * updater::kImageBlockSize + 4;
        block_.clear();
        mode_ = Mode::Normal;
        Emit(std::move(event));
        return;
    }
    if (block_.size() < updater::kImageBlockSize) return;
    checksum_.Add(block_.data(), block_.size());
    const bool terminator = std::all_of(block_.begin(), block_.end(),
                                        [](uint8_t x) { return x == updater::kTerminatorByte; });
    block_.clear();
    if (terminator) {
        mode_ = Mode::FirmwareChecksum;
    } else {
        ++blocks_;
    }
}

void StreamDecoder::CharacterDataByte(uint8_t b, uint64_t at) {
    if (block_.empty() && b != kRecordMark) {
        EmitCharacterSummary();
        mode_ = Mode::Normal;
        NormalByte(b, at);
        return;
    }
    block_.push_back(b);
    if (block_.size() < kRecordSize) return;
    if (block_.back() == kRecordMark) {
        ++records_;
        block_.clear();
        return;
    }
    EmitCharacterSummary();
    Event event;
    event.kind = EventKind::CharacterData;
    event.title = "bad record";
    event.detail =
        "closing byte " + HexBytes(std::span<const uint8_t>(&block_.back(), 1)) + " instead of 2A";
    event.offset = downloadStart_ + records_ * kRecordSize;
    event.length = kRecordSize;
    block_.clear();
    mode_ = Mode::Normal;
    Emit(std::move(event));
}

void StreamDecoder::EmitCharacterSummary() {
    Event event;
    event.kind = EventKind::CharacterData;
    event.title = "records";
    event.detail = Count(records_, "record") + " (" +
                   std::to_string(records_ * updater::kCharacterDataPart) + " data bytes)";
    event.offset = downloadStart_;
    event.length = records_ * kRecordSize;
    Emit(std::move(event));
}

void StreamDecoder::CloseRun(bool lineEnd) {
    if (run_ == Run::None) return;
    Event event;
    event.offset = runStart_;
    switch (run_) {
        case Run::Text: {
            if (paper_ != nullptr) paper_->Text(runBytes_, runCoding_, runStart_);
            event.length = runBytes_.size();
            if (!runHasText_) {  // carriage returns alone, before a command or the end
                event.kind = EventKind::EscPos;
                event.title = "carriage return";
                if (runBytes_.size() > 1) event.detail = Count(runBytes_.size(), "time");
                event.frame = runBytes_;
                break;
            }
            RenderedText text = RenderText(runBytes_, runCoding_);
            event.kind = EventKind::Text;
            if (text.undecoded) event.title = "code page " + std::to_string(runCoding_.codePage);
            event.detail = std::move(text.text);
            break;
        }
        case Run::Feed:
            if (paper_ != nullptr) paper_->LineFeeds(feedCount_, runStart_);
            event.kind = EventKind::Feed;
            event.detail = Count(feedCount_, "line");
            event.length = feedBytes_;
            break;
        case Run::Hex:
            event.kind = EventKind::Unknown;
            event.detail = HexBytes(runBytes_);
            event.length = runBytes_.size();
            event.frame = runBytes_;
            break;
        case Run::None:
            break;
    }
    run_ = Run::None;
    runBytes_.clear();
    feedCount_ = 0;
    feedBytes_ = 0;
    if (lineEnd) {  // a CR right after the line's LF still belongs to it
        held_ = true;
        heldTrailer_ = escpos::Trailer::Cr;
        heldEvent_ = std::move(event);
        return;
    }
    Emit(std::move(event));
}

void StreamDecoder::Emit(Event&& event) {
    if (sink_) sink_(std::move(event));
}

void StreamDecoder::Flush() {
    if (held_) {
        held_ = false;
        Emit(std::move(heldEvent_));
    }
    CloseRun();
}

void StreamDecoder::Finish() {
    Flush();
    Event event;
    event.kind = EventKind::Incomplete;
    switch (mode_) {
        case Mode::Normal:
            return;
        case Mode::Command:
        case Mode::Data: {
            const std::span<const uint8_t> c = command_;
            const commands::FrameLayout* layout =
                c.size() >= 3 && c[0] == kUs ? commands::FindFrameLayout(c[2]) : nullptr;
            const std::string name =
                layout != nullptr ? std::string("setting ") + layout->setting : escpos::Name(c);
            // What the whole command would have been, where its bytes so far tell.
            uint64_t whole = 0;
            uint64_t received = c.size();
            if (layout != nullptr) {
                whole = layout->length;
            } else if (mode_ == Mode::Data) {
                whole = extent_.header + extent_.data;
                received = extent_.header + dataReceived_;
            } else if (const escpos::Extent e = escpos::Measure(c);
                       e.kind == escpos::Extent::Kind::Known && e.header > c.size()) {
                whole = e.header + e.data;
            }
            const std::size_t shown = std::min(c.size(), kCutShown);
            event.title = name.empty() ? "command" : name;
            event.detail = std::to_string(received) + " bytes" +
                           (whole > 0 ? " of " + std::to_string(whole) : "") + ": " +
                           HexBytes(c.first(shown)) + (received > shown ? " …" : "");
            event.offset = commandStart_;
            event.length = received;
            event.frame = std::move(command_);
            command_.clear();
            break;
        }
        case Mode::Firmware:
        case Mode::FirmwareChecksum: {
            const bool terminated = mode_ == Mode::FirmwareChecksum;
            event.title = "firmware download";
            event.detail =
                Count(blocks_, "block") +
                (terminated
                     ? ", terminator, " + std::to_string(block_.size()) + " of 4 checksum bytes"
                     : ", then " + std::to_string(block_.size()) + " bytes, no terminator");
            event.offset = downloadStart_;
            event.length =
                (blocks_ + (terminated ? 1 : 0)) * updater::kImageBlockSize + block_.size();
            block_.clear();
            break;
        }
        case Mode::CharacterData: {
            EmitCharacterSummary();
            if (block_.empty()) {
                mode_ = Mode::Normal;
                return;
            }
            event.title = "character-data record";
            event.detail =
                std::to_string(block_.size()) + " of " + std::to_string(kRecordSize) + " bytes";
            event.offset = downloadStart_ + records_ * kRecordSize;
            event.length = block_.size();
            block_.clear();
            break;
        }
    }
    mode_ = Mode::Normal;
    Emit(std::move(event));
}

}  // namespace sim
