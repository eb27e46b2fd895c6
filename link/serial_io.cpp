// The parts of the serial and parallel ports that do not depend on the system.
#include <optional>

#include "link/device_io.h"
#include "platform/decimal.h"

namespace printerlink {
namespace {

// "COM<digits>" in any case: the number, else nullopt.
std::optional<int> ComNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 7) return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i) {
        if ((name[i] & ~0x20) != "COM"[i]) return std::nullopt;
    }
    int number = 0;
    for (const char c : name.substr(3)) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

}  // namespace

std::string SerialPortName(const std::string& pattern, int number) {
    const auto at = pattern.find("%d");
    if (at == std::string::npos) return pattern;
    const std::string name =
        pattern.substr(0, at) + std::to_string(number) + pattern.substr(at + 2);
    return WindowsSerialPath(name);
}

std::string WindowsSerialPath(std::string_view name) {
    const std::optional<int> number = ComNumber(name);
    if (number && *number >= 10) return "\\\\.\\" + std::string(name);
    return std::string(name);
}

unsigned ParseBaudText(std::string_view text) {
    const std::optional<int> value = platform::ExtractDecimal(text);
    return (value && *value > 0) ? static_cast<unsigned>(*value) : 0;
}

std::chrono::milliseconds SerialWriteTimeout(unsigned baud, std::size_t length) {
    const unsigned rate = baud == 0 ? 300 : baud;
    const auto bits = static_cast<unsigned long long>(length) * 10ull;
    const auto wireMs = (bits * 1000ull + rate - 1) / rate;  // rounded up
    return std::chrono::milliseconds(2 * wireMs + 2000);
}

}  // namespace printerlink
