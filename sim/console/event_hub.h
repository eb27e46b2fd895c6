#pragma once
// What the console keeps of the printers' lines and pushes to its pages: it follows every line the
// server emits and the paper while it grows (SimControl, on the loop's thread: it copies and
// returns at once), keeps each printer's last log lines with the receipt they belong to, the
// pictures of receipts still being printed, and where each printer's list was cleared, and hands
// each connected page (a client of /api/events) its own bounded queue of Server-Sent Events.
// A client that falls behind by more than its queue holds loses what was queued and is told it
// missed events (it reloads); the loop never waits for a client.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/console/api_json.h"
#include "sim/paper/receipt_store.h"
#include "sim/sim_control.h"

namespace sim::console {

class EventHub {
  public:
    static constexpr std::size_t kMaxClients = 8;           // the oldest goes when another comes
    static constexpr std::size_t kQueueBytes = 1 << 20;     // a client's events waiting, at most
    static constexpr std::size_t kLogLines = 10000;         // log lines kept over all printers
    static constexpr std::size_t kMaxLogLines = 200;        // and for one printer, at most
    static constexpr std::size_t kLogText = 400;            // bytes of a line's text kept
    static constexpr std::size_t kPrintingKept = 32;        // receipts in progress kept
    static constexpr std::size_t kPrintingBytes = 8 << 20;  // and their pictures' bytes

    // Follows `control` from now on; `store` is the receipt folder's (it outlives the hub).
    EventHub(SimControl& control, const paper::ReceiptStore& store, int printers);
    ~EventHub();
    EventHub(const EventHub&) = delete;
    EventHub& operator=(const EventHub&) = delete;

    // Ends every client's wait: the console stops.
    void Close();

    class Client;
    // A page connected to /api/events. Null after Close().
    std::shared_ptr<Client> Connect();
    void Disconnect(const std::shared_ptr<Client>& client);
    // The events waiting for `client` as Server-Sent Events text, waiting up to `limit` for one:
    // empty when none came (send a keep-alive), nullopt when the client must end (closed, or
    // dropped for a newer one).
    std::optional<std::string> Next(Client& client, std::chrono::milliseconds limit);

    // The printer's last log lines, oldest first.
    Json Log(int printer) const;
    // Receipts of the printer still being printed: connection, link, size, version.
    Json Printing(int printer) const;
    // The picture of one so far; null when there is none.
    std::shared_ptr<const std::vector<uint8_t>> PrintingPicture(int printer,
                                                                uint64_t connection) const;
    // Waits up to `limit` for a receipt of the printer numbered above `after` to be saved; false
    // when none was (or the console stops).
    bool WaitForReceipt(int printer, unsigned after, std::chrono::milliseconds limit);
    // Receipts of the printer numbered up to this are not listed (its list was cleared); 0: none.
    unsigned ClearedUpTo(int printer) const;
    // Clears the printer's list: every receipt saved so far (of any printer's numbering) is no
    // longer listed for it; pushed as "cleared". Returns the mark.
    unsigned Clear(int printer);

  private:
    struct InProgress {
        std::string link;
        int width = 0;
        int height = 0;
        uint64_t version = 0;
        std::shared_ptr<const std::vector<uint8_t>> png;
    };

    void OnLine(const SimLine& line);
    void OnPaper(const PaperProgress& progress);
    // Queues an event for every client, its data made by `data()` only when a client is
    // connected; with mutex_ held. Every event gets the next sequence number.
    template <typename MakeData>
    void Push(const char* event, MakeData&& data);
    void KeepLog(LogLine&& line);
    void DropPrinting();

    SimControl& control_;
    const paper::ReceiptStore& store_;
    const int printers_;
    const std::size_t logLines_;  // per printer
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    uint64_t sequence_ = 0;
    std::vector<std::deque<LogLine>> logs_;  // per printer, from 0
    std::vector<unsigned> cleared_;          // per printer
    std::vector<unsigned> newest_;           // per printer: its newest receipt saved since start
    std::map<std::pair<int, uint64_t>, InProgress> printing_;  // by printer and connection
    std::size_t printingBytes_ = 0;
    std::list<std::shared_ptr<Client>> clients_;  // oldest first
    SimControl::SubscriptionId lines_ = 0;
    SimControl::SubscriptionId paper_ = 0;
};

}  // namespace sim::console
