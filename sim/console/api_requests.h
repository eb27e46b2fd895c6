#pragma once
// What a console request asks for, read from its method, path, headers and body alone, strictly:
// a path that is not one of the console's is unknown, numbers are plain decimal digits within
// their range, a status body is a JSON object of known fields of the right types. Nothing here
// touches the printers or the files; the console answers what these functions accept.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "netcfg/address_set.h"
#include "sim/printer_status.h"

namespace sim::console {

enum class Target {
    Page,             // GET a file of the page ("/", "/console.css", ...)
    Printers,         // GET /api/printers
    Receipts,         // GET (list) or DELETE (clear) /api/printers/N/receipts
    Receipt,          // GET /api/printers/N/receipts/K: the data file
    ReceiptPicture,   // GET /api/printers/N/receipts/K.png
    LatestReceipt,    // GET /api/printers/N/receipts/latest: the newest's data file
    Status,           // PUT /api/printers/N/status
    Print,            // POST /api/printers/N/print
    Log,              // GET /api/printers/N/log: the printer's last log lines
    Printing,         // GET /api/printers/N/printing: receipts still being printed
    PrintingPicture,  // GET /api/printers/N/printing/C.png: one of them so far
    Events,           // GET /api/events: the pushed events (Server-Sent Events)
};

struct Route {
    Target target = Target::Page;
    bool change = false;    // POST, PUT or DELETE: the Origin check applies
    int printer = 0;        // N, from 1 (not checked against the printers running)
    uint64_t number = 0;    // K, or C (a connection number, 0 for the serial side)
    std::string_view page;  // Page: the path
};

struct RouteResult {
    std::optional<Route> route;
    int status = 200;   // 404 (no such path) or 405 (not with this method) without a route
    std::string error;  // why, for the answer's body
};

// Largest printer and receipt numbers a path may name.
inline constexpr uint64_t kMaxPrinterNumber = 250;
inline constexpr uint64_t kMaxReceiptNumber = 999999999;

// `path` without its query (as the HTTP library gives it, percent-decoded).
RouteResult ReadRoute(std::string_view method, std::string_view path);

// Plain decimal digits (no sign, space or other character, at most 18 of them) within [min, max].
std::optional<uint64_t> ReadNumber(std::string_view text, uint64_t min, uint64_t max);

// A status change from a PUT body: a JSON object with any of "paper" ("ok", "near-end", "out"),
// "coverOpen", "offline", "cutterError", "drawerOpen" (true or false). Anything else is refused
// with the reason in `error`.
std::optional<StatusChange> ReadStatusChange(std::string_view body, std::string* error);

// Where the console listens: a request's Host must name it, by this address or as the computer
// itself (localhost, 127.0.0.1), with its port; bound to 0.0.0.0, any IPv4 address with the port.
// Names other than localhost are refused, so a site whose name is made to point here (DNS
// rebinding) cannot read or change anything.
struct Bound {
    netcfg::Ipv4Octets address{127, 0, 0, 1};
    uint16_t port = 0;
};
bool HostAllowed(std::string_view host, const Bound& bound);

// A change may come without an Origin (curl, a test), or from the console's own page: the Origin
// "http://" + the request's Host (which HostAllowed accepted). A page elsewhere is refused.
bool OriginAllowed(std::string_view origin, std::string_view host);

}  // namespace sim::console
