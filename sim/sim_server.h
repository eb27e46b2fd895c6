#pragma once
// The virtual printers at work: a TCP listener per printer, the discovery responder on UDP, an
// optional pseudo-terminal, all served by one thread that waits for whichever is readable and
// decodes what arrives into lines. An address-set packet restarts its printer: it goes silent
// for the restart pause, then answers and listens at its new address.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/socket_io.h"
#include "sim/paper/drawing.h"
#include "sim/paper/receipt_store.h"
#include "sim/print_job.h"
#include "sim/pseudo_terminal.h"
#include "sim/sim_options.h"
#include "sim/stream_decoder.h"
#include "sim/virtual_printer.h"

namespace sim {

// One output line. `event` is set for lines decoded from a byte stream.
struct SimLine {
    int printer = 0;          // 1-based; 0 for lines of no printer
    std::string link;         // "tcp", "serial", "udp", "sim"
    uint64_t connection = 0;  // TCP connection number, 1-based; 0 otherwise
    std::string text;         // the readable line without the source
    std::optional<Event> event;
    std::optional<paper::SavedReceipt> receipt;  // a picture of the paper
};

// "printer 1 tcp#3 setting cutter: 00 (On)", or one JSON object.
std::string FormatLine(const SimLine& line, bool json);

class SimServer {
  public:
    using LineSink = std::function<void(const SimLine&)>;

    // A connection quiet for this long has its held text and commands given out.
    static constexpr std::chrono::milliseconds kIdleFlush{100};
    // Stalled connections kept open at most; a failed accept waits this long before the next.
    static constexpr std::size_t kMaxStalled = 64;
    static constexpr std::chrono::milliseconds kAcceptPause{100};

    SimServer(SimOptions options, LineSink sink);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Binds the listeners and opens the pseudo-terminal. False with `error` set when one fails.
    [[nodiscard]] bool Start(std::string* error);
    // Serves until Stop(); then ends every open stream's decoding.
    void Run();
    // From any thread or a POSIX signal handler.
    void Stop();

    uint16_t TcpPort(int printer) const;  // 1-based printer; the same for all; 0 without TCP
    uint16_t UdpPort() const;             // 0 without a responder
    const std::string& SerialPath() const { return serialPath_; }
    PrinterSettings Printer(int printer) const;  // 1-based

  private:
    struct Stream;

    // One port for every printer, as real printers all listen on 9100.
    bool StartListeners(std::string* error);
    // Printer i (from 0) listens at `address`, taking it from another printer listening there;
    // the text for its log line.
    std::string Listen(std::size_t i, const netcfg::Ipv4Octets& address);
    // Printer i stops listening; a printer left at that address without a listener gets one.
    void DropListener(std::size_t i);
    void BeginRestart(std::size_t i, const netcfg::Ipv4Octets& from);
    void FinishRestarts();
    bool Restarting(std::size_t i) const;
    void Accept(int printer);
    void ReadStream(Stream& stream);
    void ServeDatagram();
    void CloseStream(Stream& stream, const std::string& why, bool reset);
    void Say(int printer, const std::string& link, uint64_t connection, const std::string& text);
    void OnEvent(int printer, const std::string& link, uint64_t connection, Event&& event);
    // The stream's job (decoder and paper): its events go to OnEvent, a status request gets its
    // answer; its receipts are saved and logged.
    std::unique_ptr<PrintJob> MakeJob(Stream* stream);
    void AnswerStatus(Stream& stream, uint8_t request);
    // The job on the serial side ended.
    void EndSerialJob(Stream& stream);
    void WriteIndex(bool force);
    std::chrono::steady_clock::time_point NextWake() const;

    SimOptions options_;
    LineSink sink_;
    mutable std::mutex printersMutex_;
    std::vector<PrinterSettings> printers_;
    std::vector<printerlink::SocketHandle> listeners_;  // per printer, kNoSocket without
    std::vector<netcfg::Ipv4Octets> listenAt_;          // where each printer's listener is
    uint16_t tcpPort_ = 0;
    // Per printer: the end of its restart pause; the epoch while it is up.
    std::vector<std::chrono::steady_clock::time_point> restartUntil_;
    printerlink::SocketHandle udp_ = printerlink::kNoSocket;
    uint16_t udpPort_ = 0;
    printerlink::SocketWaker wake_;
    PseudoTerminal pty_;
    std::string serialPath_;
    uint64_t connections_ = 0;
    std::chrono::steady_clock::time_point acceptPausedUntil_{};
    std::vector<std::unique_ptr<Stream>> streams_;
    // The paper, with --receipts.
    std::unique_ptr<paper::Drawing> drawing_;
    std::optional<paper::ReceiptStore> receipts_;
    std::string indexError_;  // the last failure to write the index, said once
};

}  // namespace sim
