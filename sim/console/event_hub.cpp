#include "sim/console/event_hub.h"

#include <algorithm>

namespace sim::console {

class EventHub::Client {
  public:
    std::deque<std::string> queue;  // Server-Sent Events, each whole
    std::size_t bytes = 0;
    bool missed = false;   // the queue overflowed: what it held was dropped
    bool dropped = false;  // a newer client took its place, or the hub closed
};

EventHub::EventHub(SimControl& control, const paper::ReceiptStore& store, int printers)
    : control_(control),
      store_(store),
      printers_(std::max(printers, 1)),
      logLines_(std::clamp<std::size_t>(kLogLines / static_cast<std::size_t>(printers_), 20,
                                        kMaxLogLines)),
      logs_(static_cast<std::size_t>(printers_)),
      cleared_(static_cast<std::size_t>(printers_), 0),
      newest_(static_cast<std::size_t>(printers_), 0) {
    lines_ = control_.Subscribe([this](const SimLine& line) { OnLine(line); });
    paper_ = control_.WatchPaper([this](const PaperProgress& p) { OnPaper(p); });
}

EventHub::~EventHub() {
    control_.Unsubscribe(paper_);
    control_.Unsubscribe(lines_);
    Close();
}

void EventHub::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (const auto& client : clients_) client->dropped = true;
    clients_.clear();
    changed_.notify_all();
}

std::shared_ptr<EventHub::Client> EventHub::Connect() {
    std::lock_guard lock(mutex_);
    if (closed_) return nullptr;
    if (clients_.size() >= kMaxClients) {
        clients_.front()->dropped = true;
        clients_.pop_front();
        changed_.notify_all();
    }
    auto client = std::make_shared<Client>();
    // Its first event: where the sequence stands, so the page can join what it loads to what
    // comes pushed.
    Json hello;
    hello["sequence"] = sequence_;
    client->queue.push_back("event: hello\ndata: " + Text(hello) + "\n\n");
    client->bytes = client->queue.back().size();
    clients_.push_back(client);
    return client;
}

void EventHub::Disconnect(const std::shared_ptr<Client>& client) {
    std::lock_guard lock(mutex_);
    clients_.remove(client);
}

std::optional<std::string> EventHub::Next(Client& client, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit,
                      [&] { return client.dropped || client.missed || !client.queue.empty(); });
    if (client.dropped) return std::nullopt;
    std::string out;
    if (client.missed) {
        out = "event: missed\ndata: {}\n\n";
        client.missed = false;
    }
    // At most about 64 KiB at once: the rest follows on the next call.
    while (!client.queue.empty() && out.size() < 65536) {
        out += client.queue.front();
        client.bytes -= client.queue.front().size();
        client.queue.pop_front();
    }
    return out;
}

template <typename MakeData>
void EventHub::Push(const char* event, MakeData&& make) {
    ++sequence_;
    if (clients_.empty()) return;
    Json data = make();
    data["sequence"] = sequence_;
    const std::string text = std::string("event: ") + event + "\ndata: " + Text(data) + "\n\n";
    for (const auto& client : clients_) {
        if (client->bytes + text.size() > kQueueBytes) {
            client->queue.clear();
            client->bytes = 0;
            client->missed = true;
            continue;
        }
        client->queue.push_back(text);
        client->bytes += text.size();
    }
    changed_.notify_all();
}

void EventHub::KeepLog(LogLine&& line) {
    std::deque<LogLine>& log = logs_[static_cast<std::size_t>(line.printer - 1)];
    if (log.size() >= logLines_) log.pop_front();
    log.push_back(std::move(line));
}

void EventHub::OnLine(const SimLine& line) {
    std::lock_guard lock(mutex_);
    const bool ofPrinter = line.printer >= 1 && line.printer <= printers_;
    LogLine log;
    log.printer = line.printer;
    log.link = line.link;
    log.connection = line.connection;
    log.text = paper::CutText(line.text, kLogText);
    if (line.event) {
        log.from = line.event->offset;
        log.to = line.event->offset + line.event->length;
    }
    if (line.receipt && line.receipt->error.empty() && ofPrinter) {
        // The lines of its job so far belong to it.
        const unsigned number = line.receipt->number;
        log.receipt = number;
        newest_[static_cast<std::size_t>(line.printer - 1)] = number;
        changed_.notify_all();  // requests waiting for a receipt
        for (LogLine& earlier : logs_[static_cast<std::size_t>(line.printer - 1)]) {
            if (earlier.receipt == 0 && earlier.link == line.link &&
                earlier.connection == line.connection)
                earlier.receipt = number;
        }
    }
    Push("log", [&] { return LogJson(log); });
    log.sequence = sequence_;
    if (line.status && ofPrinter) {
        Push("status", [&] {
            Json status;
            status["printer"] = line.printer;
            status["status"] = StatusJson(*line.status);
            return status;
        });
    }
    if (log.receipt != 0) {
        if (const auto entry = store_.Find(log.receipt))
            Push("receipt", [&] { return ReceiptJson(*entry); });
    }
    if (ofPrinter) KeepLog(std::move(log));
}

void EventHub::OnPaper(const PaperProgress& p) {
    if (p.printer < 1 || p.printer > printers_) return;
    std::lock_guard lock(mutex_);
    const std::pair<int, uint64_t> key{p.printer, p.connection};
    if (const auto old = printing_.find(key); old != printing_.end()) {
        printingBytes_ -= old->second.png ? old->second.png->size() : 0;
        printing_.erase(old);
    }
    Push("printing", [&] { return PrintingJson(p); });
    if (p.height == 0 || !p.png) return;  // cut or ended: nothing in progress
    printing_[key] = InProgress{p.link, p.width, p.height, sequence_, p.png};
    printingBytes_ += p.png->size();
    DropPrinting();
}

void EventHub::DropPrinting() {
    // The oldest pictures go first (a connection that stopped sending in mid-receipt).
    while (!printing_.empty() &&
           (printing_.size() > kPrintingKept || printingBytes_ > kPrintingBytes)) {
        auto oldest = std::min_element(printing_.begin(), printing_.end(), [](auto& a, auto& b) {
            return a.second.version < b.second.version;
        });
        printingBytes_ -= oldest->second.png ? oldest->second.png->size() : 0;
        printing_.erase(oldest);
    }
}

Json EventHub::Log(int printer) const {
    Json lines = Json::array();
    std::lock_guard lock(mutex_);
    if (printer < 1 || printer > printers_) return lines;
    for (const LogLine& line : logs_[static_cast<std::size_t>(printer - 1)])
        lines.push_back(LogJson(line));
    return lines;
}

Json EventHub::Printing(int printer) const {
    Json list = Json::array();
    std::lock_guard lock(mutex_);
    for (const auto& [key, p] : printing_) {
        if (key.first != printer) continue;
        Json item = PrintingJson({printer, p.link, key.second, p.width, p.height, nullptr});
        item["sequence"] = p.version;
        list.push_back(std::move(item));
    }
    return list;
}

std::shared_ptr<const std::vector<uint8_t>> EventHub::PrintingPicture(int printer,
                                                                      uint64_t connection) const {
    std::lock_guard lock(mutex_);
    const auto it = printing_.find({printer, connection});
    return it == printing_.end() ? nullptr : it->second.png;
}

bool EventHub::WaitForReceipt(int printer, unsigned after, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (printer < 1 || printer > printers_) return false;
    const unsigned& newest = newest_[static_cast<std::size_t>(printer - 1)];
    return changed_.wait_for(lock, limit, [&] { return closed_ || newest > after; }) && !closed_;
}

unsigned EventHub::ClearedUpTo(int printer) const {
    std::lock_guard lock(mutex_);
    if (printer < 1 || printer > printers_) return 0;
    return cleared_[static_cast<std::size_t>(printer - 1)];
}

unsigned EventHub::Clear(int printer) {
    // Every receipt saved so far: the store numbers them across printers.
    const auto newest = store_.List({std::nullopt, 0, 1});
    const unsigned mark = newest.empty() ? 0 : newest.front().number;
    std::lock_guard lock(mutex_);
    if (printer < 1 || printer > printers_) return 0;
    unsigned& cleared = cleared_[static_cast<std::size_t>(printer - 1)];
    cleared = std::max(cleared, mark);
    Push("cleared", [&] {
        Json data;
        data["printer"] = printer;
        data["upTo"] = cleared;
        return data;
    });
    return cleared;
}

}  // namespace sim::console
