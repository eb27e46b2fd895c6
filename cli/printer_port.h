#pragma once
// The PORT argument of tessary-cli and writing one command through it. Unlike the windows'
// sender, which hands commands over and forgets them, every write here is waited for and its
// result reported: a failed open or connect, a USB time-out, a short write.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/text_args.h"

namespace printerlink {
class UsbBackend;
}

namespace cli {

inline constexpr const char* kDefaultLptPath = "/dev/lp0";
inline constexpr uint16_t kDefaultTcpPort = 9100;
inline constexpr unsigned kDefaultBaud = 9600;  // the main window's initial baud rate

// usb | lpt[:PATH] | net:IP[:PORT] | serial:DEVICE[@BAUD]
struct PortTarget {
    enum class Kind { Usb, Lpt, Net, Serial } kind = Kind::Usb;
    std::string path;  // parallel port or serial device
    Ipv4 ip{};
    uint16_t port = kDefaultTcpPort;
    unsigned baud = kDefaultBaud;
};

struct ParsedPort {
    std::optional<PortTarget> target;
    std::string error;  // why the text is no PORT, when target is empty
};
ParsedPort ParsePortText(std::string_view text, const std::string& defaultLptPath);
// The PORT text of a target, e.g. "net:192.168.0.199:9100".
std::string DescribePort(const PortTarget& target);

// What a link needs besides the PORT; tests inject a fake USB backend and short time-outs.
struct LinkSettings {
    std::shared_ptr<printerlink::UsbBackend> usb;  // the Tessary product-id list is used
    std::chrono::milliseconds connectTimeout{3000};
    unsigned usbPieceTimeoutMs = 1000;
};

struct WriteResult {
    bool ok = false;
    std::string error;  // the cause, for stderr, when !ok
};

// Opens the port, writes all of `bytes`, waits until they left, closes the port.
WriteResult WriteCommand(const PortTarget& port, std::span<const uint8_t> bytes,
                         const LinkSettings& settings);

}  // namespace cli
