#include "sim/setting_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "commands/list_items.h"
#include "commands/settings_rows.h"
#include "commands/voice_frames.h"
#include "platform/hex_text.h"
#include "sim/printer_text.h"

namespace sim {
namespace {

using platform::HexBytes;

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

}  // namespace

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

}  // namespace sim
