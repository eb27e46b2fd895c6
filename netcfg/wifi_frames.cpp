#include "netcfg/wifi_frames.h"

#include <algorithm>
#include <string>

#include "commands/setting_frames.h"
#include "netcfg/local_addresses.h"
#include "platform/text_codec.h"

namespace netcfg {
namespace {

constexpr uint8_t kCredentialsCode = 0x68;
constexpr uint8_t kStaticAddressCode = 0x69;
constexpr uint8_t kRestoreCode = 0x6F;
constexpr Ipv4 kFallbackAddress{192, 168, 0, 199};

std::string_view TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::vector<uint8_t> Concat(std::string_view a, std::string_view b, bool separator) {
    std::vector<uint8_t> bytes(a.begin(), a.end());
    if (separator) bytes.push_back(0x00);
    bytes.insert(bytes.end(), b.begin(), b.end());
    return bytes;
}

}  // namespace

WifiFrame CredentialsFrame(std::string_view ssid, std::string_view password) {
    const std::string_view name = TrimSpaces(ssid);  // UTF-8 already
    const std::string gbk = platform::Utf8ToGbk(password);
    const std::string_view key = TrimSpaces(gbk);
    if (name.size() > kWifiFieldLimit) return {WifiTooLong::Ssid, {}};
    if (key.size() > kWifiFieldLimit) return {WifiTooLong::Password, {}};
    if (name.size() + key.size() > kWifiTogetherLimit) return {WifiTooLong::Together, {}};
    return {WifiTooLong::None,
            commands::BuildSettingFrame(kCredentialsCode, Concat(name, key, true))};
}

WifiFrame WifiRestoreFrame(std::string_view ssid, std::string_view password) {
    const std::string name = platform::Utf8ToGbk(ssid);
    const std::string key = platform::Utf8ToGbk(password);
    if (name.size() + key.size() > kWifiTogetherLimit) return {WifiTooLong::Together, {}};
    return {WifiTooLong::None, commands::BuildSettingFrame(kRestoreCode, Concat(name, key, false))};
}

std::vector<uint8_t> StaticAddressFrame(const Ipv4& address, const Ipv4& mask, const Ipv4& gate) {
    std::vector<uint8_t> params{0x00};  // byte 3
    params.insert(params.end(), address.begin(), address.end());
    params.insert(params.end(), mask.begin(), mask.end());
    params.insert(params.end(), 6, 0x00);
    params.insert(params.end(), gate.begin(), gate.end());
    return commands::BuildSettingFrame(kStaticAddressCode, params);
}

const char* WifiTooLongMessage(WifiTooLong which, int languageFlag) {
    const bool chinese = languageFlag == 0;
    switch (which) {
        case WifiTooLong::Ssid:
            return chinese ? "WIFI ID 太长:最多63字节,未发送。"
                           : "WIFI ID too long: at most 63 bytes. Nothing was sent.";
        case WifiTooLong::Password:
            return chinese ? "WIFI密码太长:最多63字节,未发送。"
                           : "WIFI Password too long: at most 63 bytes. Nothing was sent.";
        case WifiTooLong::Together:
            return chinese ? "WIFI ID与WIFI密码太长:合计最多124字节,未发送。"
                           : "WIFI ID and WIFI Password too long: at most 124 bytes together. "
                             "Nothing was sent.";
        case WifiTooLong::None:
            break;
    }
    return "";
}

Ipv4 PickWifiStartAddress(std::span<const InterfaceAddress> interfaces,
                          std::optional<Ipv4> hostLookup) {
    Ipv4 address = kFallbackAddress;
    const InterfaceAddress* chosen = nullptr;
    for (const InterfaceAddress& entry : interfaces) {
        if (entry.up && !entry.loopback) {
            chosen = &entry;
            break;
        }
    }
    if (chosen != nullptr) {
        address = chosen->address;
    } else if (hostLookup && (*hostLookup)[0] != 127) {
        address = *hostLookup;
    }
    address[3] = 199;
    return address;
}

Ipv4 WifiStartAddress() {
    const std::vector<InterfaceAddress> interfaces = LocalInterfaces();
    const bool usable = std::any_of(interfaces.begin(), interfaces.end(),
                                    [](const InterfaceAddress& e) { return e.up && !e.loopback; });
    // The host-name lookup is asked only when no interface answers.
    return PickWifiStartAddress(interfaces, usable ? std::nullopt : HostNameAddress());
}

}  // namespace netcfg
