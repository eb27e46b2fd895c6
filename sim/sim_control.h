#pragma once
// The running virtual printers as other threads see them (the console's HTTP workers, a print
// receiver, tests): list them, change a printer's status, print a job, follow every line the
// server emits. The printers' state stays owned by the server loop; every call here is safe from
// any thread while SimServer::Run serves, and none waits for the loop.

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "sim/printer_status.h"
#include "sim/sim_line.h"
#include "sim/virtual_printer.h"

namespace sim {

enum class ControlResult {
    Done,
    NoSuchPrinter,  // no printer has that number
    Refused,        // a job too large, or too many waiting (`error` says which)
    Stopped,        // the server stopped before the job ended (or had already stopped)
};

struct PrinterCounters {
    uint64_t connections = 0;  // TCP and LPD connections accepted and jobs given to Print
    uint64_t bytes = 0;        // received on every side: TCP, serial, Print, LPD data files
    uint64_t receipts = 0;     // pictures of the paper saved
};

struct PrinterView {
    int number = 0;            // 1-based, as the log shows it
    PrinterSettings settings;  // what discovery answers now: address, mask, gateway, MAC, DHCP
    uint16_t tcpPort = 0;      // every printer's port; 0 without TCP
    uint16_t lpdPort = 0;      // every printer's port for LPR jobs; 0 without
    bool listening = false;    // its TCP listener is open (not while restarting or displaced)
    bool restarting = false;   // an address-set packet restarts it
    PrinterStatus status;
    PrinterCounters counters;
};

// Bytes printed as if a TCP connection had sent them: the same decoder and paper, a connection
// number of its own.
struct PrintRequest {
    int printer = 1;
    std::string link = "api";  // shown in its log lines instead of "tcp"
    std::string name;          // logged when it starts
    std::vector<uint8_t> bytes;
};

struct JobResult {
    ControlResult result = ControlResult::Done;
    std::string error;        // why it was refused
    uint64_t connection = 0;  // its number in the log lines (0: it never started)
    // The lines of the receipts it made, in order (`receipt` set; none without --receipts).
    std::vector<SimLine> receipts;
};

// The paper a job is printing on since its last receipt: a receipt still being printed.
struct PaperProgress {
    int printer = 1;
    std::string link;         // as in the log ("tcp", "serial", "api")
    uint64_t connection = 0;  // as in the log; 0 on the serial side
    int width = 0;            // dots
    int height = 0;           // 0: nothing printed since the last receipt (it was cut, or ended)
    std::shared_ptr<const std::vector<uint8_t>> png;  // the picture as PNG; none when 0 high
};

class SimControl {
  public:
    // Most jobs waiting or printing at once, and the largest job.
    static constexpr std::size_t kMaxJobs = 16;
    static constexpr std::size_t kMaxJobBytes = 16 * 1024 * 1024;
    // A job's name is kept to this many bytes (log lines, the receipt's data file).
    static constexpr std::size_t kMaxJobName = 80;

    using Subscriber = std::function<void(const SimLine&)>;
    using PaperWatcher = std::function<void(const PaperProgress&)>;
    using SubscriptionId = uint64_t;
    // A job's paper is shown at most this often while it grows.
    static constexpr std::chrono::milliseconds kProgressInterval{250};

    virtual ~SimControl() = default;

    virtual std::vector<PrinterView> Printers() const = 0;

    // Changes the items `change` holds at once: the next status request answers from it, and
    // the loop logs the new status as one line ("status now: paper out, cover open"; changes
    // between two turns of the loop come as one), sends automatic status to every connection
    // that enabled it, and prints what it held once the printer prints again.
    virtual ControlResult ChangeStatus(int printer, const StatusChange& change) = 0;

    // Queues a job; the future is ready once the job has ended (its receipts saved), or at once
    // when it is refused. Jobs for one printer print one after another, each once the printer
    // prints (not while paper out, cover open, offline, a cutter error).
    virtual std::future<JobResult> Print(PrintRequest job) = 0;

    // Every line the server emits from now on (log lines, receipts, status changes) goes to
    // `subscriber`, on the server loop's thread, in order. It must copy what it needs and return
    // at once: it must not wait (on a socket, a full queue, a lock held while waiting), and must
    // not call Subscribe or Unsubscribe. Unsubscribe returns once no call is running; none follows.
    virtual SubscriptionId Subscribe(Subscriber subscriber) = 0;
    virtual void Unsubscribe(SubscriptionId id) = 0;
    // The paper of every job with paper (with --receipts) while it grows: a picture at most every
    // kProgressInterval while bytes come, and one 0 high once what it showed was cut or ended;
    // taken only while someone watches. Same rules as Subscribe, in order with its lines (a
    // receipt's line comes before the 0-high picture that follows its cut); Unsubscribe ends it.
    virtual SubscriptionId WatchPaper(PaperWatcher watcher) = 0;
};

}  // namespace sim
