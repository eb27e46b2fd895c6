// The console's reading of requests: a path with any method routes or is refused with 404/405 and
// a reason, and what it routes names numbers within their ranges, read back the same from the
// path; a status body is read or refused with a reason, and what it reads is read the same again
// from its own JSON; a Host is accepted only with the console's port and a name it allows.
#include <fuzzer/FuzzedDataProvider.h>

#include <nlohmann/json.hpp>
#include <string>

#include "fuzz/check.h"
#include "sim/console/api_requests.h"

namespace {

using namespace sim::console;

void Routes(FuzzedDataProvider& input) {
    static constexpr const char* kMethods[] = {"GET", "HEAD", "POST", "PUT", "DELETE", "PATCH"};
    const char* method = kMethods[input.ConsumeIntegralInRange<int>(0, 5)];
    // Often an API path with a fuzzed tail, so the deeper branches are reached.
    std::string path = input.ConsumeBool() ? "/api/printers/" : "";
    path += input.ConsumeRemainingBytesAsString();
    const RouteResult r = ReadRoute(method, path);
    if (!r.route) {
        FUZZ_CHECK(r.status == 404 || r.status == 405);
        FUZZ_CHECK(!r.error.empty());
        return;
    }
    FUZZ_CHECK(r.status == 200);
    FUZZ_CHECK(!path.empty() && path[0] == '/');
    const Route& route = *r.route;
    FUZZ_CHECK(route.change == (std::string(method) == "POST" || std::string(method) == "PUT" ||
                                std::string(method) == "DELETE"));
    if (route.target == Target::Page) {
        FUZZ_CHECK(route.page == path);
        FUZZ_CHECK(path.rfind("/api/", 0) != 0);
        return;
    }
    FUZZ_CHECK(path.rfind("/api/", 0) == 0);
    if (route.target == Target::Events || route.target == Target::Printers) {
        FUZZ_CHECK(route.printer == 0);
        return;
    }
    FUZZ_CHECK(route.printer >= 1 && static_cast<uint64_t>(route.printer) <= kMaxPrinterNumber);
    const std::string prefix = "/api/printers/";
    const std::size_t slash = path.find('/', prefix.size());
    FUZZ_CHECK(slash != std::string::npos);
    FUZZ_CHECK(ReadNumber(path.substr(prefix.size(), slash - prefix.size()), 1,
                          kMaxPrinterNumber) == static_cast<uint64_t>(route.printer));
    if (route.target == Target::Receipt || route.target == Target::ReceiptPicture) {
        FUZZ_CHECK(route.number >= 1 && route.number <= kMaxReceiptNumber);
        std::string last = path.substr(path.rfind('/') + 1);
        if (route.target == Target::ReceiptPicture) last.resize(last.size() - 4);
        FUZZ_CHECK(ReadNumber(last, 1, kMaxReceiptNumber) == route.number);
    }
}

void StatusBodies(FuzzedDataProvider& input) {
    const std::string body = input.ConsumeRemainingBytesAsString();
    std::string error;
    const auto change = ReadStatusChange(body, &error);
    if (!change) {
        FUZZ_CHECK(!error.empty());
        return;
    }
    FUZZ_CHECK(error.empty());
    nlohmann::json again = nlohmann::json::object();
    if (change->paper) again["paper"] = sim::PaperWord(*change->paper);
    if (change->coverOpen) again["coverOpen"] = *change->coverOpen;
    if (change->offline) again["offline"] = *change->offline;
    if (change->cutterError) again["cutterError"] = *change->cutterError;
    if (change->drawerOpen) again["drawerOpen"] = *change->drawerOpen;
    const auto read = ReadStatusChange(again.dump(), &error);
    FUZZ_CHECK(read.has_value());
    FUZZ_CHECK(sim::Changed({}, *read) == sim::Changed({}, *change));
}

void Hosts(FuzzedDataProvider& input) {
    Bound bound;
    for (uint8_t& octet : bound.address) octet = input.ConsumeIntegral<uint8_t>();
    if (input.ConsumeBool()) bound.address = {127, 0, 0, 1};
    bound.port = input.ConsumeIntegralInRange<uint16_t>(1, 65535);
    const std::string host = input.ConsumeRandomLengthString(64);
    const std::string origin = input.ConsumeRemainingBytesAsString();
    if (HostAllowed(host, bound)) {
        const std::string port = ":" + std::to_string(bound.port);
        const bool withPort = host.size() > port.size() &&
                              host.compare(host.size() - port.size(), port.size(), port) == 0;
        FUZZ_CHECK(withPort || (bound.port == 80 && host.find(':') == std::string::npos));
    }
    if (OriginAllowed(origin, host) && !origin.empty())
        FUZZ_CHECK(origin.size() == host.size() + 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            Routes(input);
            break;
        case 1:
            StatusBodies(input);
            break;
        default:
            Hosts(input);
            break;
    }
    return 0;
}
