#pragma once
// The console's answers, whatever carries the requests: the page's files, the JSON API over the
// printers (SimControl), the receipt folder's index and files, and what the event hub keeps.
// Every request is checked first: its Host must name the console, a change must come from the
// console's own page (or from no page at all), bodies are bounded, and numbers and bodies are read
// strictly (api_requests.h). Files are only ever named by their receipt number.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/console/api_requests.h"
#include "sim/console/event_hub.h"
#include "sim/paper/receipt_store.h"
#include "sim/sim_control.h"

namespace sim::console {

struct HttpRequest {
    std::string_view method;
    std::string_view path;  // without the query, percent-decoded
    std::string_view host;  // the Host header ("" when missing)
    std::string_view origin;
    std::vector<std::pair<std::string, std::string>> query;
    std::string_view body;
};

struct HttpAnswer {
    int status = 200;
    std::string type = "application/json";
    std::string body;
    std::shared_ptr<const std::vector<uint8_t>> bytes;  // a picture kept in memory, not `body`
    bool page = false;    // a file of the page (its own headers: what it may load)
    bool events = false;  // /api/events: the carrier streams the hub's events
};

class ConsoleApi {
  public:
    static constexpr std::size_t kMaxJob = 8 * 1024 * 1024;  // a print job's body
    static constexpr std::size_t kMaxJson = 4096;            // a status body
    static constexpr std::size_t kMaxList = 500;             // receipts listed at once
    static constexpr std::size_t kDefaultList = 100;
    // How long a print request waits for its job to end (it may wait for paper) before it
    // answers that the job is still waiting.
    static constexpr std::chrono::seconds kPrintWait{10};
    // The longest a receipt list waits for a new receipt (?wait=S).
    static constexpr uint64_t kMaxWaitSeconds = 60;

    // All must outlive the API.
    ConsoleApi(SimControl& control, const paper::ReceiptStore& store, EventHub& hub, Bound bound);

    HttpAnswer Answer(const HttpRequest& request);

  private:
    HttpAnswer Receipts(const Route& route, const HttpRequest& request);
    HttpAnswer Receipt(const Route& route);
    HttpAnswer Print(const Route& route, const HttpRequest& request);
    HttpAnswer Status(const Route& route, const HttpRequest& request);
    // The receipt's file (its data file, or its picture), when it is the printer's.
    HttpAnswer File(int printer, unsigned number, bool picture);

    SimControl& control_;
    const paper::ReceiptStore& store_;
    EventHub& hub_;
    Bound bound_;
};

// A JSON answer {"error": why} with `status`.
HttpAnswer Refusal(int status, const std::string& why);

}  // namespace sim::console
