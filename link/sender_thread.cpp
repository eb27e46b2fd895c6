#include "link/sender_thread.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "link/command_buffer.h"
#include "link/device_io.h"
#include "link/tcp_link.h"
#include "link/usb_printer_link.h"

namespace printerlink {
namespace {

constexpr std::size_t kSerialPiece = 8;
constexpr std::size_t kUsbPiece = 64;
constexpr std::size_t kTcpPiece = 256;

// What a cycle left behind.
enum class Outcome {
    Done,  // written or dropped
    Keep,  // still pending: retry after the pause
    Exit,  // the program was told to end; the sender writes nothing more
};

}  // namespace

struct SenderThread::Impl {
    Impl(CommandBuffer& b, PortChoiceSource& p, SenderSinks s, std::shared_ptr<UsbBackend> u,
         LinkEndpoints e)
        : buffer(b), ports(p), sinks(std::move(s)), usb(std::move(u)), endpoints(std::move(e)) {}

    CommandBuffer& buffer;
    PortChoiceSource& ports;
    SenderSinks sinks;
    std::shared_ptr<UsbBackend> usb;
    LinkEndpoints endpoints;

    std::mutex threadMutex;  // guards `thread` against concurrent Start/Stop
    std::thread thread;

    void Status(const char* text) const {
        if (sinks.setStatusText) sinks.setStatusText(text);
    }
    void Message(const char* text) const {
        if (sinks.showMessage) sinks.showMessage(text);
    }
    void Notice(LinkNotice notice) const {
        if (sinks.notice) sinks.notice(notice);
    }

    bool usbStalled = false;  // the last cycle kept its command because USB took nothing
    // The port whose printer is asked its status once the cycle's command is done.
    std::optional<PortParams> askAfter;

    // Asks the printer on `port` its status, giving way to the next command at once.
    void AskStatus(const PortParams& port) const {
        if (!sinks.askStatus) return;
        sinks.askStatus(port, [this] { return buffer.Waiting() || buffer.StopRequested(); });
    }

    void Run() {
        PendingCommand command;
        while (buffer.Take(command)) {
            bool stallShown = false;  // said once per command, not at every retry
            for (;;) {
                usbStalled = false;
                const Outcome outcome = Cycle(command);
                if (outcome == Outcome::Exit) {
                    buffer.Done();
                    return;
                }
                if (outcome == Outcome::Done) {
                    buffer.Done();
                    // The window counts as idle meanwhile: a new command ends the asking.
                    if (askAfter) AskStatus(*std::exchange(askAfter, std::nullopt));
                    break;
                }
                if (usbStalled && !stallShown) {
                    Notice(LinkNotice::UsbRetrying);
                    stallShown = true;
                }
                const auto resume = buffer.PauseBeforeRetry(command, endpoints.retryPause);
                if (resume == CommandBuffer::Resume::Stopped) {
                    buffer.Abandon(command);
                    return;
                }
                if (resume == CommandBuffer::Resume::Replaced) stallShown = false;
            }
        }
    }

    // One command cycle: a fresh USB link, the port choice read anew, one branch.
    Outcome Cycle(PendingCommand& command) {
        UsbPrinterLink link(usb, UsbProgram::Tessary);
        const PortParams params = ports.ReadPortParams();
        const PortKind kind = params.Chosen();
        // The unsent rest of a command belongs to the printer that got its start; another port
        // gets the whole command.
        if (command.sent > 0 && kind != command.partialOn) {
            command.sent = 0;
            command.partialOn = PortKind::None;
        }
        askAfter.reset();
        switch (kind) {
            case PortKind::Com:
                return Serial(command, params);
            case PortKind::Lpt:
                return Parallel(command);
            case PortKind::Usb:
                return Usb(command, link);
            case PortKind::Net:
                return Net(command, params);
            case PortKind::None:
                break;
        }
        Message(kNoPortChosen);
        return Outcome::Keep;
    }

    Outcome Serial(PendingCommand& command, const PortParams& params) {
        const DeviceHandle fd = OpenSerialExclusive(params.serialName);
        if (fd == kNoDevice) {
            Status(kComOpenFail);
            return Outcome::Keep;
        }
        MakeSerialRaw(fd);
        ApplySerialLine(fd, ParseBaudText(params.baudText));
        // The whole command, to the last bit on the line, gets a time-out from the port's rate.
        const auto deadline = std::chrono::steady_clock::now() +
                              SerialWriteTimeout(SerialOutputBaud(fd), command.Rest());
        const auto stopping = [this] { return buffer.StopRequested(); };
        SerialWrite result = SerialWrite::Done;
        while (command.Rest() > 0 && result == SerialWrite::Done) {
            const std::size_t piece = std::min(command.Rest(), kSerialPiece);
            result = WriteSerialUntil(fd, command.Next(), piece, deadline, stopping);
            if (result == SerialWrite::Done) command.sent += piece;
        }
        if (result == SerialWrite::Done) result = DrainSerialUntil(fd, deadline, stopping);
        if (result != SerialWrite::Done) DiscardSerialOutput(fd);  // close must not wait
        if (result == SerialWrite::TimedOut) Notice(LinkNotice::SerialTimedOut);
        CloseSerial(fd);  // other write errors are not reported
        if (result == SerialWrite::TimedOut ||
            (result == SerialWrite::Done && command.after == AfterCommand::AskStatus))
            askAfter = params;
        return Outcome::Done;
    }

    Outcome Parallel(PendingCommand& command) {
        const DeviceHandle fd = OpenParallelPort(endpoints.lptPath);
        if (fd == kNoDevice) {
            Status(kLptOpenFail);
            return Outcome::Done;
        }
        WriteFully(fd, command.Next(), command.Rest());
        ClosePort(fd);
        return Outcome::Done;
    }

    Outcome Usb(PendingCommand& command, UsbPrinterLink& link) {
        if (!link.Open()) {
            Status(kUsbOpenFail);
            return Outcome::Done;
        }
        const auto timeout =
            static_cast<unsigned>(std::max<long long>(0, endpoints.usbPieceTimeout.count()));
        while (command.Rest() > 0) {
            const std::size_t piece = std::min(command.Rest(), kUsbPiece);
            std::size_t written = 0;
            const int ok = link.Write(command.Next(), piece, written, timeout);
            command.sent += std::min(written, piece);
            if (command.sent > 0) command.partialOn = PortKind::Usb;
            if (!ok || written < piece) {
                usbStalled = written == 0;
                return Outcome::Keep;  // resume at the first unsent byte
            }
        }
        return Outcome::Done;
    }

    Outcome Net(PendingCommand& command, const PortParams& params) {
        const TcpLimits limits{endpoints.connectTimeout, endpoints.tcpStall,
                               [this] { return buffer.StopRequested(); }};
        TcpConnection connection =
            TcpConnection::Connect(params.printerIp, endpoints.tcpPort, limits);
        if (!connection.IsOpen()) {
            Status(kNetConnectFail);
            return Outcome::Done;
        }
        // Done only once the printer acknowledged every byte.
        if (connection.SendAll(command.Next(), command.Rest(), kTcpPiece) && connection.Finish()) {
            if (command.after == AfterCommand::AskStatus) askAfter = params;
            return Outcome::Done;
        }
        switch (connection.Result().fault) {
            case TcpFault::Stalled:
                Notice(LinkNotice::NetStalled);
                askAfter = params;
                return Outcome::Done;  // dropped; the window keeps working
            case TcpFault::Cancelled:
                return Outcome::Done;
            default:
                break;
        }
        // What the printer reports shows in the status line while the message is up.
        AskStatus(params);
        Message(kPrintError);
        if (sinks.exitProgram) sinks.exitProgram(1);
        return Outcome::Exit;
    }
};

SenderThread::SenderThread(CommandBuffer& buffer, PortChoiceSource& ports, SenderSinks sinks,
                           std::shared_ptr<UsbBackend> usb, LinkEndpoints endpoints)
    : impl_(std::make_unique<Impl>(buffer, ports, std::move(sinks), std::move(usb),
                                   std::move(endpoints))) {}

SenderThread::~SenderThread() {
    Stop();
}

void SenderThread::Start() {
    std::lock_guard lock(impl_->threadMutex);
    if (impl_->thread.joinable()) return;
    impl_->buffer.ClearStop();
    impl_->thread = std::thread([impl = impl_.get()] { impl->Run(); });
}

void SenderThread::Stop() {
    std::lock_guard lock(impl_->threadMutex);
    if (!impl_->thread.joinable()) return;
    impl_->buffer.RequestStop();
    impl_->thread.join();
}

}  // namespace printerlink
