#include "commands/setting_frames.h"

#include <algorithm>
#include <array>

namespace commands {
namespace {

constexpr std::optional<uint8_t> kNone = std::nullopt;

// Every function code of the vendor setting frame, ascending by code.
constexpr std::array<FrameLayout, 34> kFrames{{
    {0x01, kNone, 7, "print density"},  // bytes 3-5 are 00, value at byte 6
    {0x05, kNone, 6, "code page"},
    {0x06, kNone, 8, "USB identity"},  // vendor and product identifiers follow
    {0x07, 0x50, 6, "Bluetooth address mode"},
    {0x64, kNone, 26, "IP address setting"},
    {0x65, kNone, 4, "DHCP on/off"},
    {0x66, kNone, 6, "reprint after paper change"},
    {0x67, kNone, 10, "MAC address setting"},
    {0x68, kNone, 128, "WiFi credentials"},
    {0x69, kNone, 40, "WiFi static address"},
    {0x6A, kNone, 6, "beeper"},
    {0x6B, kNone, 6, "blank feed"},
    {0x6C, kNone, 6, "printer language"},
    {0x6D, kNone, 6, "print speed"},
    {0x6E, kNone, 6, "factory restore"},
    {0x6F, 0x12, 128, "WiFi factory restore"},
    {0x70, 0x5B, 6, "80 mm printer prints 58 mm width"},
    {0x71, 0x6B, 6, "light"},
    {0x72, 0x7B, 6, "sound"},
    {0x73, 0x89, 6, "feed after cut"},
    {0x74, kNone, 6, "text encoding"},
    {0x75, 0x9A, 6, "cutter"},
    {0x76, 0xCA, 48, "factory settings without sound and light"},
    {0x77, 0xCA, 48, "factory settings with sound and light"},
    {0x78, 0x99, 64, "Bluetooth device names"},
    {0x79, 0x97, 7, "volume up"},
    {0x7A, 0x98, 7, "volume down"},
    {0x7B, 0xAC, 7, "alarm voice"},
    {0x7C, 0xAD, 6, "compressed printing"},
    {0x7D, 0xCB, 7, "alarm interval"},
    {0x7E, 0xCC, 6, "router auto-adaptation"},
    {0x7F, 0xA4, 6, "serial baud rate"},
    {0x80, 0xCC, 6, "print self-test page"},
    {0x81, 0xAB, 6, "automatic cut"},
}};

constexpr bool Ascending() {
    for (std::size_t i = 1; i < kFrames.size(); ++i) {
        if (kFrames[i - 1].code >= kFrames[i].code) return false;
    }
    return true;
}
static_assert(Ascending(), "the frame table is searched by code");

}  // namespace

std::span<const FrameLayout> SettingFrameTable() {
    return kFrames;
}

const FrameLayout* FindFrameLayout(uint8_t code) {
    const auto it = std::lower_bound(kFrames.begin(), kFrames.end(), code,
                                     [](const FrameLayout& f, uint8_t c) { return f.code < c; });
    return (it != kFrames.end() && it->code == code) ? &*it : nullptr;
}

std::vector<uint8_t> BuildSettingFrame(uint8_t code, std::span<const uint8_t> params) {
    const FrameLayout* entry = FindFrameLayout(code);
    if (entry == nullptr) return {};
    std::vector<uint8_t> frame(entry->length, 0);
    frame[0] = 0x1F;
    frame[1] = 0x1B;
    frame[2] = code;
    std::size_t at = 3;
    if (entry->secondCode) frame[at++] = *entry->secondCode;
    const std::size_t room = frame.size() - at;
    const std::size_t n = std::min(room, params.size());
    std::copy_n(params.begin(), n, frame.begin() + static_cast<std::ptrdiff_t>(at));
    return frame;
}

std::vector<uint8_t> BuildSettingFrame(uint8_t code, std::initializer_list<uint8_t> params) {
    return BuildSettingFrame(code, std::span<const uint8_t>(params.begin(), params.size()));
}

}  // namespace commands
