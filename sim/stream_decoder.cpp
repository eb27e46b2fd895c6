#include "sim/stream_decoder.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "commands/list_items.h"
#include "commands/setting_frames.h"
#include "commands/settings_rows.h"
#include "commands/voice_frames.h"
#include "platform/text_codec.h"

namespace sim {
namespace {

constexpr std::size_t kRecordSize = updater::kCharacterDataPart + 2;
constexpr uint8_t kRecordMark = 0x2A;

bool IsTextByte(uint8_t b) {
    return (b >= 0x20 && b != 0x7F) || b == 0x09 || b == 0x0D;
}
bool IsCommandStart(uint8_t b) {
    return b == 0x1B || b == 0x1C || b == 0x1D || b == 0x1F;
}
bool IsGbkLead(uint8_t b) {
    return b >= 0x81 && b <= 0xFE;
}
bool IsGbkTrail(uint8_t b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

std::string Escape(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", b);
    return text;
}

// GBK bytes as UTF-8; anything that is no character shows as \xNN, a backslash as \\, a tab as
// \t, a carriage return other than the one before the closing line feed as \r.
std::string RenderGbk(std::span<const uint8_t> bytes) {
    std::size_t end = bytes.size();
    if (end > 0 && bytes[end - 1] == 0x0A) {
        --end;
        if (end > 0 && bytes[end - 1] == 0x0D) --end;
    }
    std::string out;
    std::string characters;  // GBK text waiting for conversion
    const auto flush = [&] {
        const bool ascii = std::all_of(characters.begin(), characters.end(),
                                       [](char c) { return static_cast<uint8_t>(c) < 0x80; });
        if (ascii) {  // the same in UTF-8: no conversion needed
            out += characters;
            characters.clear();
            return;
        }
        std::string utf8 = platform::GbkToUtf8(characters);
        if (utf8.find(kReplacement) == std::string::npos) {
            out += utf8;
        } else {  // a pair GBK leaves unassigned: convert one by one, show that one as hex
            for (std::size_t i = 0; i < characters.size();) {
                const std::size_t n = static_cast<uint8_t>(characters[i]) >= 0x80 ? 2 : 1;
                const std::string one = platform::GbkToUtf8(characters.substr(i, n));
                if (one.find(kReplacement) != std::string::npos) {
                    for (std::size_t k = 0; k < n; ++k)
                        out += Escape(static_cast<uint8_t>(characters[i + k]));
                } else {
                    out += one;
                }
                i += n;
            }
        }
        characters.clear();
    };
    for (std::size_t i = 0; i < end; ++i) {
        const uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            characters += static_cast<char>(b);
        } else if (IsGbkLead(b) && i + 1 < end && IsGbkTrail(bytes[i + 1])) {
            characters += static_cast<char>(b);
            characters += static_cast<char>(bytes[++i]);
        } else {
            flush();
            out += b == '\\' ? "\\\\" : b == 0x09 ? "\\t" : b == 0x0D ? "\\r" : Escape(b);
        }
    }
    flush();
    return out;
}

// Length of the well-formed UTF-8 sequence at `s[i]`, 0 when there is none.
std::size_t Utf8Length(std::span<const uint8_t> s, std::size_t i) {
    const uint8_t b = s[i];
    const std::size_t n = b < 0x80                 ? 1
                          : b >= 0xC2 && b <= 0xDF ? 2
                          : b >= 0xE0 && b <= 0xEF ? 3
                          : b >= 0xF0 && b <= 0xF4 ? 4
                                                   : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) return 0;
    }
    if (n == 3 && ((b == 0xE0 && s[i + 1] < 0xA0) || (b == 0xED && s[i + 1] > 0x9F))) return 0;
    if (n == 4 && ((b == 0xF0 && s[i + 1] < 0x90) || (b == 0xF4 && s[i + 1] > 0x8F))) return 0;
    return n;
}

// UTF-8 bytes as they are, with control characters and ill-formed bytes as \xNN.
std::string RenderUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = Utf8Length(bytes, i);
        if (n == 0 || bytes[i] < 0x20 || bytes[i] == 0x7F || bytes[i] == '\\') {
            out += bytes[i] == '\\' ? "\\\\" : Escape(bytes[i]);
            ++i;
        } else {
            out.append(reinterpret_cast<const char*>(bytes.data() + i), n);
            i += n;
        }
    }
    return out;
}

// The bytes from `from` up to the next 00 (or the end), and where the 00 is.
std::span<const uint8_t> Field(std::span<const uint8_t> frame, std::size_t from, std::size_t* end) {
    from = std::min(from, frame.size());
    std::size_t to = from;
    while (to < frame.size() && frame[to] != 0) ++to;
    if (end != nullptr) *end = to;
    return frame.subspan(from, to - from);
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Ipv4At(std::span<const uint8_t> frame, std::size_t at) {
    char text[20];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", frame[at], frame[at + 1], frame[at + 2],
                  frame[at + 3]);
    return text;
}

std::string MacAt(std::span<const uint8_t> frame, std::size_t at) {
    char text[20];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", frame[at], frame[at + 1],
                  frame[at + 2], frame[at + 3], frame[at + 4], frame[at + 5]);
    return text;
}

// Non-zero bytes after `from`, as " extra: .." (up to the last non-zero one); "" when none.
std::string Extra(std::span<const uint8_t> frame, std::size_t from) {
    std::size_t last = frame.size();
    while (last > from && frame[last - 1] == 0) --last;
    if (last <= from) return {};
    return " extra: " + HexBytes(frame.subspan(from, last - from));
}

std::string ItemAt(std::span<const char* const> items, uint8_t value) {
    return value < items.size() && items[value][0] != '\0' ? items[value] : "";
}

// The meaning of a value byte, from the lists the tools fill; "" when there is none.
std::string ValueName(uint8_t code, uint8_t value) {
    switch (code) {
        case 0x05:
            return value < commands::CodePageItems().size() && value != 25
                       ? commands::CodePageItems()[value]
                       : "";
        case 0x6A:
            return ItemAt(commands::BeeperModeItems(), value);
        case 0x6B:
            return ItemAt(commands::BlankFeedItems(), value);
        case 0x7B:
            return ItemAt(commands::AlarmVoiceItems(), value);
        case 0x7D:
            return ItemAt(commands::AlarmIntervalItems(1), value);
        case 0x71:  // light, sound, feed after cut: 00 switches on
        case 0x72:
        case 0x73:
            return value == 0 ? "on" : value == 1 ? "off" : "";
        case 0x65:  // DHCP, router auto-adaptation: 01 switches on
        case 0x7E:
            return value == 1 ? "on" : value == 0 ? "off" : "";
        default:
            break;
    }
    for (const commands::SettingRow& row : commands::SettingRows()) {
        if (row.code != code) continue;
        if (row.value != commands::RowValue::ListPosition &&
            row.value != commands::RowValue::Density)
            continue;
        const std::vector<std::string> items = commands::SettingItems(row, 1);
        return value < items.size() ? items[value] : "";
    }
    return {};
}

std::string ValueText(uint8_t code, uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    const std::string name = ValueName(code, value);
    return name.empty() ? text : std::string(text) + " (" + name + ")";
}

// The readable values of a whole setting frame.
std::string SettingDetail(const commands::FrameLayout& layout, std::span<const uint8_t> f) {
    switch (layout.code) {
        case 0x01:
            return ValueText(layout.code, f[6]) + Extra(f, 7);
        case 0x06: {
            char text[40];
            std::snprintf(text, sizeof text, "vendor %04X product %04X", f[3] | f[4] << 8,
                          f[5] | f[6] << 8);
            return text + Extra(f, 7);
        }
        case 0x64:
        case 0x69:
            return "address " + Ipv4At(f, 4) + ", mask " + Ipv4At(f, 8) + ", gateway " +
                   Ipv4At(f, 18) + Extra(f, 22);
        case 0x67:
            return "MAC " + MacAt(f, 3) + Extra(f, 9);
        case 0x68: {
            std::size_t end = 0;
            const auto ssid = Field(f, 3, &end);
            std::size_t passwordEnd = 0;
            const auto password = Field(f, end + 1, &passwordEnd);
            return "SSID " + Quoted(RenderUtf8(ssid)) + ", password " +
                   Quoted(RenderGbk(password)) + Extra(f, passwordEnd);
        }
        case 0x6F: {
            std::size_t end = 0;
            const auto text = Field(f, 4, &end);
            return "SSID and password " + Quoted(RenderGbk(text)) + Extra(f, end);
        }
        case 0x76:
        case 0x77:
            return "parameters " + HexBytes(f.subspan(4, 12)) + ", date " +
                   Quoted(RenderGbk(f.subspan(16, 10))) + ", byte 33 " +
                   HexBytes(f.subspan(33, 1)) + Extra(f, 34);
        case 0x78: {
            std::size_t end = 0;
            const auto spp = Field(f, 4, &end);
            std::size_t leEnd = 0;
            const auto le = Field(f, end + 1, &leEnd);
            return "SPP " + Quoted(RenderGbk(spp)) + ", BLE " + Quoted(RenderGbk(le)) +
                   Extra(f, leEnd);
        }
        case 0x6E:
        case 0x79:
        case 0x7A:
        case 0x80: {
            const std::size_t from = layout.secondCode ? 4 : 3;
            const std::string extra = Extra(f, from);
            return extra.empty() ? "" : extra.substr(1);
        }
        default: {
            const std::size_t at = layout.secondCode ? 4 : 3;
            return ValueText(layout.code, f[at]) + Extra(f, at + 1);
        }
    }
}

// Standard commands, by their first two bytes.
struct EscPosLayout {
    uint8_t prefix;
    uint8_t code;
    const char* title;
    std::size_t (*lengthOf)(std::span<const uint8_t> collected);  // 0: not known yet
    std::string (*detail)(std::span<const uint8_t> command);
    bool padded;  // may take one trailing 00 or 01, as the tools' six-byte commands do
};

std::size_t Two(std::span<const uint8_t>) {
    return 2;
}
std::size_t Three(std::span<const uint8_t>) {
    return 3;
}
std::size_t Five(std::span<const uint8_t>) {
    return 5;
}
std::size_t CutLength(std::span<const uint8_t> c) {
    if (c.size() < 3) return 0;
    return c[2] == 0x41 || c[2] == 0x42 ? 4 : 3;
}
std::string NoDetail(std::span<const uint8_t>) {
    return {};
}
std::string Number(unsigned n, const char* unit) {
    return std::to_string(n) + unit;
}
std::string Lines(std::span<const uint8_t> c) {
    return Number(c[2], " lines");
}
std::string Dots(std::span<const uint8_t> c) {
    return Number(c[2], " dots");
}
std::string Hex2(std::span<const uint8_t> c) {
    return HexBytes(c.subspan(2, 1));
}
std::string OnOff(std::span<const uint8_t> c) {
    return (c[2] & 1) ? "on" : "off";
}
std::string Align(std::span<const uint8_t> c) {
    switch (c[2]) {
        case 0:
        case '0':
            return "left";
        case 1:
        case '1':
            return "centre";
        case 2:
        case '2':
            return "right";
        default:
            return HexBytes(c.subspan(2, 1));
    }
}
std::string Size(std::span<const uint8_t> c) {
    return Number((c[2] >> 4) + 1u, " wide, ") + Number((c[2] & 0x0F) + 1u, " high");
}
std::string Drawer(std::span<const uint8_t> c) {
    const char* pin = (c[2] & 1) ? "pin 5" : "pin 2";
    return std::string(pin) + ", on " + Number(c[3] * 2u, " ms") + ", off " +
           Number(c[4] * 2u, " ms");
}
std::string Cut(std::span<const uint8_t> c) {
    switch (c[2]) {
        case 0:
        case '0':
            return "full";
        case 1:
        case '1':
            return "partial";
        case 0x41:
            return "feed " + Number(c[3], " dots") + ", full";
        case 0x42:
            return "feed " + Number(c[3], " dots") + ", partial";
        default:
            return "mode " + HexBytes(c.subspan(2, 1));
    }
}

constexpr EscPosLayout kEscPos[] = {
    {0x1B, '@', "initialise", Two, NoDetail, false},
    {0x1B, 'p', "drawer kick", Five, Drawer, true},
    {0x1B, 'd', "feed", Three, Lines, false},
    {0x1B, 'J', "feed", Three, Dots, false},
    {0x1B, 'a', "align", Three, Align, false},
    {0x1B, 'E', "bold", Three, OnOff, false},
    {0x1B, '!', "print mode", Three, Hex2, false},
    {0x1B, '2', "default line spacing", Two, NoDetail, false},
    {0x1B, '3', "line spacing", Three, Dots, false},
    {0x1D, 'V', "cut", CutLength, Cut, true},
    {0x1D, '!', "character size", Three, Size, false},
    {0x1C, '&', "Chinese characters on", Two, NoDetail, false},
    {0x1C, '.', "Chinese characters off", Two, NoDetail, false},
};

const EscPosLayout* FindEscPos(uint8_t prefix, uint8_t code) {
    for (const EscPosLayout& layout : kEscPos) {
        if (layout.prefix == prefix && layout.code == code) return &layout;
    }
    return nullptr;
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
    for (const uint8_t b : bytes) Byte(b, fed_++);
}

void StreamDecoder::Byte(uint8_t b, uint64_t at) {
    if (held_) {
        held_ = false;
        if (b == 0x00 || b == 0x01) {
            heldEvent_.length += 1;
            heldEvent_.detail += (heldEvent_.detail.empty() ? "+ pad " : " + pad ") +
                                 HexBytes(std::span<const uint8_t>(&b, 1));
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
    feedCount_ = 0;
    midCharacter_ = false;
}

void StreamDecoder::NormalByte(uint8_t b, uint64_t at) {
    if (b == 0x0A) {
        if (run_ == Run::Text) {
            runBytes_.push_back(b);
            CloseRun();
            return;
        }
        if (run_ != Run::Feed) {
            CloseRun();
            StartRun(Run::Feed, at);
        }
        ++feedCount_;
        return;
    }
    if (IsTextByte(b)) {
        const bool lead = !midCharacter_ && IsGbkLead(b);
        const std::size_t size = runBytes_.size();
        if (run_ != Run::Text || (!midCharacter_ && size >= kTextLimit) ||
            (lead && size + 1 >= kTextLimit)) {
            CloseRun();
            StartRun(Run::Text, at);
        }
        runBytes_.push_back(b);
        midCharacter_ = lead;
        return;
    }
    if (IsCommandStart(b)) {
        CloseRun();
        mode_ = Mode::Command;
        command_.assign(1, b);
        commandStart_ = at;
        return;
    }
    if (run_ != Run::Hex || runBytes_.size() >= kHexLimit) {
        CloseRun();
        StartRun(Run::Hex, at);
    }
    runBytes_.push_back(b);
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
    if (c[0] == 0x1F) {
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
    const EscPosLayout* layout = FindEscPos(c[0], c[1]);
    if (layout == nullptr) {
        return Reject(2, {});
    }
    const std::size_t length = layout->lengthOf(c);
    if (length == 0 || c.size() < length) return;
    Event event;
    event.kind = EventKind::EscPos;
    event.title = layout->title;
    event.detail = layout->detail(c);
    event.offset = commandStart_;
    event.length = c.size();
    event.frame = std::move(command_);
    command_.clear();
    mode_ = Mode::Normal;
    if (layout->padded) {
        held_ = true;
        heldEvent_ = std::move(event);
    } else {
        Emit(std::move(event));
    }
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

void StreamDecoder::CloseRun() {
    if (run_ == Run::None) return;
    Event event;
    event.offset = runStart_;
    switch (run_) {
        case Run::Text:
            event.kind = EventKind::Text;
            event.detail = RenderGbk(runBytes_);
            event.length = runBytes_.size();
            break;
        case Run::Feed:
            event.kind = EventKind::Feed;
            event.detail = Count(feedCount_, "line");
            event.length = feedCount_;
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
        case Mode::Command: {
            const commands::FrameLayout* layout = command_.size() >= 3 && command_[0] == 0x1F
                                                      ? commands::FindFrameLayout(command_[2])
                                                      : nullptr;
            event.title = layout != nullptr ? std::string("setting ") + layout->setting : "command";
            event.detail = std::to_string(command_.size()) + " bytes" +
                           (layout != nullptr ? " of " + std::to_string(layout->length) : "") +
                           ": " + HexBytes(command_);
            event.offset = commandStart_;
            event.length = command_.size();
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
