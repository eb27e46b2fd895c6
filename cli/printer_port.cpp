#include "cli/printer_port.h"

#include <algorithm>

#include "link/device_io.h"
#include "link/sender_thread.h"
#include "link/tcp_link.h"
#include "link/usb_printer_link.h"

namespace cli {
namespace {

// The pieces the windows' sender writes per port kind.
constexpr std::size_t kSerialPiece = 8;
constexpr std::size_t kUsbPiece = 64;
constexpr std::size_t kTcpPiece = 256;

std::string ErrorText(int error) {
    return error != 0 ? ": " + printerlink::DeviceErrorText(error) : std::string();
}

std::string Counted(std::size_t sent, std::size_t total) {
    return " after " + std::to_string(sent) + " of " + std::to_string(total) + " bytes";
}

WriteResult Fail(std::string text) {
    return {false, std::move(text)};
}

WriteResult WriteUsb(std::span<const uint8_t> bytes, const LinkSettings& settings) {
    if (!settings.usb) return Fail(std::string(printerlink::kUsbOpenFail) + ": no USB access");
    printerlink::UsbPrinterLink link(settings.usb, printerlink::UsbProgram::Tessary);
    if (!link.Open())
        return Fail(std::string(printerlink::kUsbOpenFail) +
                    ": no USB printer with a listed product id could be opened");
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const std::size_t piece = std::min(bytes.size() - sent, kUsbPiece);
        std::size_t written = 0;
        const int ok = link.Write(bytes.data() + sent, piece, written, settings.usbPieceTimeoutMs);
        sent += std::min(written, piece);
        if (!ok || written < piece)
            return Fail("USB write to " + link.DevicePath() + " timed out or failed" +
                        Counted(sent, bytes.size()) + " (printer offline or out of paper?)");
    }
    return {true, {}};
}

WriteResult WriteSerial(const PortTarget& port, std::span<const uint8_t> bytes) {
    const printerlink::DeviceHandle fd = printerlink::OpenSerialExclusive(port.path);
    if (fd == printerlink::kNoDevice)
        return Fail(std::string(printerlink::kComOpenFail).substr(1) + ": " + port.path +
                    ErrorText(printerlink::LastDeviceError()));
    printerlink::MakeSerialRaw(fd);
    std::string warning;
    if (!printerlink::ApplySerialLine(fd, port.baud))
        warning = " (the port refused " + std::to_string(port.baud) + " baud)";
    const auto deadline =
        std::chrono::steady_clock::now() +
        printerlink::SerialWriteTimeout(printerlink::SerialOutputBaud(fd), bytes.size());
    const auto never = [] { return false; };
    auto result = printerlink::SerialWrite::Done;
    std::size_t sent = 0;
    while (sent < bytes.size() && result == printerlink::SerialWrite::Done) {
        const std::size_t piece = std::min(bytes.size() - sent, kSerialPiece);
        result = printerlink::WriteSerialUntil(fd, bytes.data() + sent, piece, deadline, never);
        if (result == printerlink::SerialWrite::Done) sent += piece;
    }
    const int writeError =
        result == printerlink::SerialWrite::Failed ? printerlink::LastDeviceError() : 0;
    if (result == printerlink::SerialWrite::Done)
        result = printerlink::DrainSerialUntil(fd, deadline, never);
    if (result != printerlink::SerialWrite::Done) printerlink::DiscardSerialOutput(fd);
    printerlink::CloseSerial(fd);
    switch (result) {
        case printerlink::SerialWrite::Done:
            return {true, {}};
        case printerlink::SerialWrite::TimedOut:
            return Fail("serial port " + port.path + " did not take the command in time" +
                        Counted(sent, bytes.size()) + " (flow control holding the line?)" +
                        warning);
        case printerlink::SerialWrite::Cancelled:
        case printerlink::SerialWrite::Failed:
            break;
    }
    return Fail("write to serial port " + port.path + " failed" + Counted(sent, bytes.size()) +
                ErrorText(writeError) + warning);
}

WriteResult WriteParallel(const PortTarget& port, std::span<const uint8_t> bytes) {
    const printerlink::DeviceHandle fd = printerlink::OpenParallelPort(port.path);
    if (fd == printerlink::kNoDevice)
        return Fail(std::string(printerlink::kLptOpenFail) + ": " + port.path +
                    ErrorText(printerlink::LastDeviceError()));
    const bool ok = printerlink::WriteFully(fd, bytes.data(), bytes.size());
    const int error = ok ? 0 : printerlink::LastDeviceError();
    printerlink::ClosePort(fd);
    if (!ok) return Fail("write to parallel port " + port.path + " failed" + ErrorText(error));
    return {true, {}};
}

// All commands over one connection, as one job: the printer's stall shows however the job is cut
// into commands, and the result is known only once it acknowledged the last byte.
WriteResult WriteNet(const PortTarget& port, std::span<const std::vector<uint8_t>> commands,
                     const LinkSettings& settings) {
    const printerlink::TcpLimits limits{settings.connectTimeout, settings.stall, {}};
    printerlink::TcpConnection connection =
        printerlink::TcpConnection::Connect(port.ip, port.port, limits);
    uint64_t total = 0;
    for (const auto& command : commands) total += command.size();
    bool ok = connection.IsOpen();
    for (std::size_t i = 0; ok && i < commands.size(); ++i)
        ok = connection.SendAll(commands[i].data(), commands[i].size(), kTcpPiece);
    if (ok && connection.Finish()) return {true, {}};
    return Fail(NetFailureText(port, connection.Result(), limits, total));
}

}  // namespace

ParsedPort ParsePortText(std::string_view text, const std::string& defaultLptPath) {
    PortTarget target;
    const std::size_t colon = text.find(':');
    const std::string_view kind = text.substr(0, colon);
    const std::string_view rest =
        colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    const auto bad = [&](const std::string& why) {
        return ParsedPort{std::nullopt, "bad PORT '" + std::string(text) + "': " + why};
    };
    if (kind == "usb") {
        if (colon != std::string_view::npos) return bad("usb takes no parameter");
        target.kind = PortTarget::Kind::Usb;
    } else if (kind == "lpt") {
        target.kind = PortTarget::Kind::Lpt;
        target.path = colon == std::string_view::npos ? defaultLptPath : std::string(rest);
        if (target.path.empty()) return bad("the parallel port path is empty");
    } else if (kind == "net") {
        target.kind = PortTarget::Kind::Net;
        const std::size_t portColon = rest.find(':');
        const auto ip = ParseIpv4(rest.substr(0, portColon));
        if (!ip) return bad("write net:IP[:PORT] with a dotted IPv4 address");
        target.ip = *ip;
        if (portColon != std::string_view::npos) {
            const auto port = ParseUnsigned(rest.substr(portColon + 1), 65535);
            if (!port || *port == 0) return bad("the TCP port must be 1..65535");
            target.port = static_cast<uint16_t>(*port);
        }
    } else if (kind == "serial") {
        target.kind = PortTarget::Kind::Serial;
        const std::size_t at = rest.rfind('@');
        target.path = std::string(rest.substr(0, at));
        if (target.path.empty()) return bad("write serial:DEVICE[@BAUD]");
        if (at != std::string_view::npos) {
            const auto baud = ParseUnsigned(rest.substr(at + 1), 4000000);
            if (!baud || *baud == 0) return bad("the baud rate must be a positive number");
            target.baud = *baud;
        }
    } else {
        return bad("use usb, lpt[:PATH], net:IP[:PORT] or serial:DEVICE[@BAUD]");
    }
    return {target, {}};
}

std::string NetFailureText(const PortTarget& port, const printerlink::TcpResult& result,
                           const printerlink::TcpLimits& limits, uint64_t total) {
    const std::string cause = printerlink::FaultText(result, limits);
    if (!result.connected)
        return std::string(printerlink::kNetConnectFail) + " (" + DescribePort(port) +
               "): " + cause;
    // Where the system cannot tell what the printer acknowledged, the count is an upper bound.
    const std::string counted = result.acknowledgedAtMost
                                    ? " after at most " + std::to_string(result.acknowledged) +
                                          " of " + std::to_string(total) + " bytes"
                                    : Counted(result.acknowledged, total);
    if (result.fault == printerlink::TcpFault::Stalled)
        return "printer at " + FormatIpv4(port.ip) + " stopped taking data" + counted;
    // Its stack took the bytes; its program may have read none of them before it went.
    if (result.fault == printerlink::TcpFault::Reset)
        return std::string(printerlink::kPrintError) + ": the printer at " + DescribePort(port) +
               " reset the connection after taking " +
               (result.acknowledgedAtMost ? "at most " : "") + std::to_string(result.acknowledged) +
               " of " + std::to_string(total) + " bytes: it may not have printed them";
    return std::string(printerlink::kPrintError) + ": the connection to " + DescribePort(port) +
           " failed" + counted + ": " + cause;
}

std::string DescribePort(const PortTarget& target) {
    switch (target.kind) {
        case PortTarget::Kind::Usb:
            return "usb";
        case PortTarget::Kind::Lpt:
            return "lpt:" + target.path;
        case PortTarget::Kind::Net:
            return "net:" + FormatIpv4(target.ip) + ":" + std::to_string(target.port);
        case PortTarget::Kind::Serial:
            return "serial:" + target.path + "@" + std::to_string(target.baud);
    }
    return {};
}

WriteResult WriteCommands(const PortTarget& port, std::span<const std::vector<uint8_t>> commands,
                          const LinkSettings& settings) {
    if (port.kind == PortTarget::Kind::Net) return WriteNet(port, commands, settings);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const std::span<const uint8_t> bytes(commands[i]);
        WriteResult result = port.kind == PortTarget::Kind::Usb   ? WriteUsb(bytes, settings)
                             : port.kind == PortTarget::Kind::Lpt ? WriteParallel(port, bytes)
                                                                  : WriteSerial(port, bytes);
        if (!result.ok) {
            if (commands.size() > 1)
                result.error += " (command " + std::to_string(i + 1) + " of " +
                                std::to_string(commands.size()) + ")";
            return result;
        }
    }
    return {true, {}};
}

}  // namespace cli
