#pragma once
// The virtual printers at work: a TCP listener per printer, the discovery responder on UDP, an
// optional pseudo-terminal, all served by one thread that waits for whichever is readable and
// decodes what arrives into lines. An address-set packet restarts its printer: it goes silent
// for the restart pause, then answers and listens at its new address. Other threads reach the
// printers through SimControl.
//
// A printer that cannot print (paper out, cover open, offline, a cutter error) prints nothing:
// what arrives is held, up to kReceiveBuffer bytes a connection (then the connection is no longer
// read, so TCP pushes back on the sender), and printed once it can print again. Real-time
// requests in held bytes are answered at once, and not again when they are printed.
//
// With an LPD port, each printer also takes LPR jobs there (sim/lpd/): each data file is printed
// as a TCP connection's bytes are, and held the same way.

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/socket_io.h"
#include "sim/chaos/chaos_plan.h"
#include "sim/lpd/lpd_text.h"
#include "sim/paper/drawing.h"
#include "sim/paper/receipt_store.h"
#include "sim/print_job.h"
#include "sim/pseudo_terminal.h"
#include "sim/sim_control.h"
#include "sim/sim_line.h"
#include "sim/sim_options.h"
#include "sim/status_requests.h"
#include "sim/stream_decoder.h"
#include "sim/virtual_printer.h"

namespace sim {

class SimServer : public SimControl {
  public:
    using LineSink = std::function<void(const SimLine&)>;

    // A connection quiet for this long has its held text and commands given out.
    static constexpr std::chrono::milliseconds kIdleFlush{100};
    // Stalled connections kept open at most; a failed accept waits this long before the next.
    static constexpr std::size_t kMaxStalled = 64;
    static constexpr std::chrono::milliseconds kAcceptPause{100};
    // A printer's receive buffer: what a connection may hold while the printer cannot print.
    // As small as a receipt printer's, so a sender soon sees that nothing is taken.
    static constexpr std::size_t kReceiveBuffer = 4096;
    // A job given to Print is fed to its decoder in slices this large, one a turn of the loop.
    static constexpr std::size_t kJobSlice = 64 * 1024;

    SimServer(SimOptions options, LineSink sink);
    ~SimServer() override;
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Binds the listeners and opens the pseudo-terminal. False with `error` set when one fails.
    [[nodiscard]] bool Start(std::string* error);
    // Serves until Stop(); then ends every open stream's decoding (what printers held is lost)
    // and every job given to Print as stopped.
    void Run();
    // From any thread or a POSIX signal handler.
    void Stop();

    uint16_t TcpPort(int printer) const;  // 1-based printer; the same for all; 0 without TCP
    uint16_t LpdPort(int printer) const;  // the same for all; 0 without LPD
    uint16_t UdpPort() const;             // 0 without a responder
    const std::string& SerialPath() const { return serialPath_; }
    // The receipt folder, with --receipts (once started); null without.
    const paper::ReceiptStore* Receipts() const { return receipts_ ? &*receipts_ : nullptr; }
    PrinterSettings Printer(int printer) const;  // 1-based

    // SimControl, from any thread.
    std::vector<PrinterView> Printers() const override;
    ControlResult ChangeStatus(int printer, const StatusChange& change) override;
    std::future<JobResult> Print(PrintRequest job) override;
    SubscriptionId Subscribe(Subscriber subscriber) override;
    void Unsubscribe(SubscriptionId id) override;
    SubscriptionId WatchPaper(PaperWatcher watcher) override;

  private:
    struct Stream;
    struct QueuedJob;
    struct LpdEvents;

    // One port for every printer, as real printers all listen on 9100 (and 515 for LPD): each
    // printer's listener of `set` on port `wanted` (0: a free one), the port in `bound`.
    bool StartListeners(std::vector<printerlink::SocketHandle>& set, uint16_t wanted,
                        uint16_t& bound, std::string* error);
    // Printer i (from 0) has a TCP or LPD listener open; closes both; what it listens on:
    // "TCP port 9100 and LPD port 515" (without `numbers`: "TCP and LPD"; empty: nothing).
    bool Listens(std::size_t i) const;
    void CloseListeners(std::size_t i);
    std::string PortsText(std::size_t i, bool numbers) const;
    // Printer i (from 0) listens at `address`, taking it from another printer listening there;
    // the text for its log line.
    std::string Listen(std::size_t i, const netcfg::Ipv4Octets& address);
    // Printer i stops listening, resetting the connections its listener took and the printer
    // had not accepted yet; a printer left at that address without a listener gets one.
    void DropListener(std::size_t i);
    // Printer i restarts: its connections reset, silent for `pause`; `why` for its log line.
    void BeginRestart(std::size_t i, std::chrono::milliseconds pause, const std::string& why);
    void FinishRestarts();
    bool Restarting(std::size_t i) const;
    // Listening and restarting as Printers() shows them.
    void PublishPresence();
    // A connection waiting at printer i's listener (from 0; its LPD listener when `lpd`), taken
    // and logged; its fault drawn when `draw`. Null when none was waiting.
    Stream* Accept(int index, bool lpd, bool draw = true);
    void ReadStream(Stream& stream);
    void ServeDatagram();
    // A datagram on the discovery port from `from`: answered, or taken as an address-set packet.
    void HandleDatagram(std::span<const uint8_t> datagram, const printerlink::SocketAddress& from);
    // Closes the stream's side; its job ends now, or once what it held is printed (`loseHeld`:
    // the printer restarts or stops, and its buffer is lost).
    void CloseStream(Stream& stream, const std::string& why, bool reset, bool loseHeld = false);
    // Every line goes out here: to the sink, then to the subscribers.
    void Emit(const SimLine& line);
    void Say(int printer, const std::string& link, uint64_t connection, const std::string& text);
    void OnEvent(int printer, const std::string& link, uint64_t connection, Event&& event);
    // The stream's job (decoder and paper): its events go to OnEvent, a status request gets its
    // answer; its receipts are saved, counted and logged (and handed to a job given to Print).
    std::unique_ptr<PrintJob> MakeJob(Stream* stream);
    // Bytes read from a stream: printed, or held while the printer cannot print.
    void Take(Stream& stream, std::span<const uint8_t> bytes);
    void Hold(Stream& stream, std::span<const uint8_t> bytes);
    // Held bytes printed once the printer prints again; a stream whose side closed meanwhile
    // ends its job then.
    void PrintHeld(Stream& stream);
    // The end of a stream's job: the decoder finished and the paper ended.
    void EndJob(Stream& stream);

    // LPD connections (sim/lpd/sim_lpd.cpp): bytes read fed to the exchange (false: it is over
    // and the connection closed); the client's side ended; the job of a data file printed.
    bool FeedLpd(Stream& stream, std::span<const uint8_t> bytes);
    void EndLpd(Stream& stream);
    void EndLpdJob(Stream& stream);
    // Whether the stream may be read now: not while a data file's last bytes wait to be printed.
    static bool LpdReads(const Stream& stream);
    lpd::QueueView LpdQueue(const Stream& asking) const;

    // The status protocol (sim_status.cpp).
    void Serve(Stream& stream, const StatusRequest& request);
    // `due`: an answer the stream's fault held back, sent now.
    bool SendBack(Stream& stream, std::span<const uint8_t> bytes, bool due = false);
    // A changed status logged once and pushed as automatic status; held bytes printed.
    void FollowStatus();
    PrinterStatus StatusOf(int printer) const;
    bool PrintsNow(int printer) const;
    void SetStatus(int printer, const PrinterStatus& status);
    void CountBytes(int printer, uint64_t bytes);

    // Jobs given to Print (sim_jobs.cpp): started in order once their printer prints, fed a
    // slice a turn, their results handed over when they end.
    void StartJobs();
    void FeedJobs();
    bool JobsToFeed() const;
    void FinishJob(Stream& stream, ControlResult result);
    void StopJobs();
    // The job on the serial side ended.
    void EndSerialJob(Stream& stream);
    void WriteIndex(bool force);

    // Chaos (sim_chaos.cpp), with --chaos. A new connection or serial session draws its fault;
    // a stream meets it at its point (false: the stream was closed) or at its end.
    void DrawFault(Stream& stream, chaos::Occasion occasion);
    bool MeetFault(Stream& stream, chaos::Fault fault);
    // A status answer held back by the stream's fault (true), sent when due.
    bool HoldAnswer(Stream& stream, std::span<const uint8_t> bytes);
    // How often a datagram is handled now: 0 (dropped, or held back to be handled when due),
    // 1, or 2.
    int DatagramFault(std::span<const uint8_t> datagram, const printerlink::SocketAddress& from);
    // Held-back answers and datagrams that are due.
    void ServeLate();
    std::chrono::steady_clock::time_point ChaosWake() const;
    // Reading rate of a stream (--slow, or its fault's); 0: no limit.
    uint64_t ReadRate(const Stream& stream) const;
    void SayChaosSummary();
    // The paper of each stream while it grows, to the watchers (sim_paper_progress.cpp).
    void ShowPaper();
    bool PaperToShow() const;
    std::optional<std::chrono::steady_clock::time_point> NextPaperShow() const;
    std::chrono::steady_clock::time_point NextWake() const;

    SimOptions options_;
    LineSink sink_;
    std::atomic<bool> stopping_{false};
    // What other threads read and change: settings, status and counters of each printer.
    mutable std::mutex printersMutex_;
    std::vector<PrinterSettings> printers_;
    std::vector<PrinterStatus> status_;
    std::vector<PrinterCounters> counters_;
    // Per printer, for Printers(): its listener is open; it is restarting.
    std::vector<char> listening_;
    std::vector<char> restarting_;
    // The loop's own: the status it last logged and pushed, per printer.
    std::vector<PrinterStatus> statusSeen_;
    std::vector<commands::PrinterIdentity> identities_;
    // Jobs given to Print: waiting, and whether the loop has ended (no more are taken).
    mutable std::mutex jobsMutex_;
    std::deque<std::shared_ptr<QueuedJob>> jobs_;
    std::size_t jobsActive_ = 0;  // started and not ended (jobsMutex_)
    bool ended_ = false;          // Run has returned (jobsMutex_)
    // Subscribers to every line, and watchers of the paper.
    struct Subscription {
        Subscriber lines;
        PaperWatcher paper;
    };
    mutable std::mutex subscribersMutex_;
    std::map<SubscriptionId, Subscription> subscribers_;
    SubscriptionId nextSubscription_ = 1;
    std::vector<printerlink::SocketHandle> listeners_;  // per printer, kNoSocket without
    std::vector<printerlink::SocketHandle> lpdListeners_;
    std::vector<netcfg::Ipv4Octets> listenAt_;  // where each printer's listeners are
    uint16_t tcpPort_ = 0;
    uint16_t lpdPort_ = 0;
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
    // Chaos: the draws, their count by kind, datagrams held back.
    std::optional<chaos::ChaosPlan> chaos_;
    chaos::FaultTally tally_;
    struct LateDatagram {
        std::chrono::steady_clock::time_point due;
        std::vector<uint8_t> bytes;
        printerlink::SocketAddress from;
    };
    std::vector<LateDatagram> lateDatagrams_;
};

}  // namespace sim
