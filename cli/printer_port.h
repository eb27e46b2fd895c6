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
#include <vector>

#include "cli/text_args.h"
#include "link/device_io.h"
#include "link/tcp_link.h"

namespace printerlink {
class UsbBackend;
}

namespace cli {

inline constexpr const char* kDefaultLptPath = printerlink::kDefaultParallelPort;
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
    std::chrono::milliseconds stall{10000};  // a TCP printer taking nothing this long failed
    unsigned usbPieceTimeoutMs = 1000;
};

struct WriteResult {
    bool ok = false;
    std::string error;  // the cause, for stderr, when !ok
};

// Why a TCP connection or send to `port` failed, in one line: the connect's cause, or how much
// of `total` bytes the printer acknowledged, e.g. "printer at 192.168.1.50 stopped taking data
// after 1000 of 164358 bytes" ("after at most 5120 of ..." where the system cannot tell), or
// "... reset the connection after taking 123 of 123 bytes: it may not have printed them".
std::string NetFailureText(const PortTarget& port, const printerlink::TcpResult& result,
                           const printerlink::TcpLimits& limits, uint64_t total);

// Writes the commands in order and waits until they left, stopping at the first failure. Each
// command opens and closes the port, except over TCP, where they travel as one job on one
// connection that is done once the printer acknowledged every byte.
WriteResult WriteCommands(const PortTarget& port, std::span<const std::vector<uint8_t>> commands,
                          const LinkSettings& settings);

}  // namespace cli
