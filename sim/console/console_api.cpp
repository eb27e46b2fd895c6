#include "sim/console/console_api.h"

#include <fstream>
#include <future>
#include <iterator>

#include "sim/console/page_files.h"

namespace sim::console {
namespace {

constexpr std::uintmax_t kMaxFile = 64 * 1024 * 1024;  // a receipt file served, at most

HttpAnswer JsonAnswer(const Json& json, int status = 200) {
    HttpAnswer answer;
    answer.status = status;
    answer.body = Text(json);
    return answer;
}

std::string_view ContentType(std::string_view path) {
    const auto ends = [&](std::string_view end) {
        return path.size() >= end.size() && path.substr(path.size() - end.size()) == end;
    };
    if (ends(".html")) return "text/html; charset=utf-8";
    if (ends(".css")) return "text/css; charset=utf-8";
    if (ends(".js")) return "text/javascript; charset=utf-8";
    if (ends(".svg")) return "image/svg+xml";
    return "application/octet-stream";
}

HttpAnswer PageAnswer(std::string_view path) {
    if (path == "/") path = "/index.html";
    for (const PageFile& file : PageFiles()) {
        if (file.path != path) continue;
        HttpAnswer answer;
        answer.type = ContentType(path);
        answer.body = file.body;
        answer.page = true;
        return answer;
    }
    return Refusal(404, "no such page: " + std::string(path.substr(0, 200)));
}

// The first value of a query parameter, if given.
std::optional<std::string_view> Query(const HttpRequest& request, std::string_view name) {
    for (const auto& [key, value] : request.query) {
        if (key == name) return value;
    }
    return std::nullopt;
}

// A query number: absent gives `fallback`; present, it must read within [min, max].
std::optional<uint64_t> QueryNumber(const HttpRequest& request, std::string_view name, uint64_t min,
                                    uint64_t max, uint64_t fallback, std::string* error) {
    const auto text = Query(request, name);
    if (!text) return fallback;
    const auto value = ReadNumber(*text, min, max);
    if (!value) {
        *error = std::string(name) + " must be a number from " + std::to_string(min) + " to " +
                 std::to_string(max);
    }
    return value;
}

std::optional<std::string> ReadFile(const std::filesystem::path& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxFile) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return text;
}

}  // namespace

HttpAnswer Refusal(int status, const std::string& why) {
    Json json;
    json["error"] = why;
    return JsonAnswer(json, status);
}

ConsoleApi::ConsoleApi(SimControl& control, const paper::ReceiptStore& store, EventHub& hub,
                       Bound bound)
    : control_(control), store_(store), hub_(hub), bound_(bound) {}

HttpAnswer ConsoleApi::Answer(const HttpRequest& request) {
    if (!HostAllowed(request.host, bound_)) {
        return Refusal(403, "refused: the Host \"" + std::string(request.host.substr(0, 100)) +
                                "\" is not this console's address (use localhost or the address "
                                "it listens on)");
    }
    const RouteResult routed = ReadRoute(request.method, request.path);
    if (!routed.route) return Refusal(routed.status, routed.error);
    const Route& route = *routed.route;
    if (route.change && !OriginAllowed(request.origin, request.host)) {
        return Refusal(403, "refused: a change from another site (Origin \"" +
                                std::string(request.origin.substr(0, 100)) + "\")");
    }
    if (route.target == Target::Page) return PageAnswer(route.page);
    if (route.target == Target::Events) {
        HttpAnswer answer;
        answer.events = true;
        answer.type = "text/event-stream";
        return answer;
    }
    const std::vector<PrinterView> printers = control_.Printers();
    if (route.target == Target::Printers) {
        Json list = Json::array();
        for (const PrinterView& p : printers) list.push_back(PrinterJson(p));
        Json out;
        out["printers"] = std::move(list);
        out["receipts"] = store_.Count();
        return JsonAnswer(out);
    }
    if (route.printer > static_cast<int>(printers.size()))
        return Refusal(404, "no printer " + std::to_string(route.printer));
    switch (route.target) {
        case Target::Receipts:
            if (request.method == "DELETE") {
                Json out;
                out["clearedUpTo"] = hub_.Clear(route.printer);
                return JsonAnswer(out);
            }
            return Receipts(route, request);
        case Target::Receipt:
        case Target::ReceiptPicture:
        case Target::LatestReceipt:
            return Receipt(route);
        case Target::Status:
            return Status(route, request);
        case Target::Print:
            return Print(route, request);
        case Target::Log: {
            Json out;
            out["lines"] = hub_.Log(route.printer);
            return JsonAnswer(out);
        }
        case Target::Printing: {
            Json out;
            out["printing"] = hub_.Printing(route.printer);
            return JsonAnswer(out);
        }
        case Target::PrintingPicture: {
            HttpAnswer answer;
            answer.bytes = hub_.PrintingPicture(route.printer, route.number);
            if (!answer.bytes) return Refusal(404, "nothing being printed on that connection");
            answer.type = "image/png";
            return answer;
        }
        default:
            return Refusal(404, "no such path");
    }
}

HttpAnswer ConsoleApi::Receipts(const Route& route, const HttpRequest& request) {
    std::string error;
    const auto since = QueryNumber(request, "since", 0, kMaxReceiptNumber, 0, &error);
    const auto before = QueryNumber(request, "before", 1, kMaxReceiptNumber + 1, 0, &error);
    const auto limit = QueryNumber(request, "limit", 1, kMaxList, kDefaultList, &error);
    const auto wait = QueryNumber(request, "wait", 0, kMaxWaitSeconds, 0, &error);
    if (!since || !before || !limit || !wait) return Refusal(400, error);
    const unsigned cleared = hub_.ClearedUpTo(route.printer);
    paper::ReceiptStore::Query query;
    query.printer = route.printer;
    query.after = std::max(static_cast<unsigned>(*since), cleared);
    query.before = static_cast<unsigned>(*before);
    query.limit = static_cast<std::size_t>(*limit) + 1;  // one more: are there more?
    std::vector<paper::ReceiptEntry> entries = store_.List(query);
    // A test waits for its receipt: until one newer than those asked about is saved.
    if (entries.empty() && *wait > 0 && query.before == 0 &&
        hub_.WaitForReceipt(route.printer, query.after, std::chrono::seconds(*wait)))
        entries = store_.List(query);
    const bool more = entries.size() > *limit;
    if (more) entries.pop_back();
    Json list = Json::array();
    for (const paper::ReceiptEntry& e : entries) list.push_back(ReceiptJson(e));
    Json out;
    out["receipts"] = std::move(list);
    out["more"] = more;
    out["clearedUpTo"] = cleared;
    return JsonAnswer(out);
}

HttpAnswer ConsoleApi::Receipt(const Route& route) {
    if (route.target != Target::LatestReceipt) {
        return File(route.printer, static_cast<unsigned>(route.number),
                    route.target == Target::ReceiptPicture);
    }
    paper::ReceiptStore::Query query;
    query.printer = route.printer;
    query.after = hub_.ClearedUpTo(route.printer);
    query.limit = 1;
    const std::vector<paper::ReceiptEntry> latest = store_.List(query);
    if (latest.empty())
        return Refusal(404, "printer " + std::to_string(route.printer) + " has no receipt yet");
    return File(route.printer, latest.front().number, false);
}

HttpAnswer ConsoleApi::File(int printer, unsigned number, bool picture) {
    const auto entry = store_.Find(number);
    if (!entry || entry->printer != printer) {
        return Refusal(404, "printer " + std::to_string(printer) + " has no receipt " +
                                std::to_string(number));
    }
    if (!picture && !entry->data)
        return Refusal(404, "receipt " + std::to_string(number) + " has no data file");
    const std::string name =
        picture ? paper::ReceiptStore::FileName(number) : paper::ReceiptStore::DataFileName(number);
    auto text = ReadFile(store_.Folder() / name);
    if (!text) return Refusal(404, name + " cannot be read");
    HttpAnswer answer;
    answer.type = picture ? "image/png" : "application/json";
    answer.body = std::move(*text);
    return answer;
}

HttpAnswer ConsoleApi::Status(const Route& route, const HttpRequest& request) {
    if (request.body.size() > kMaxJson) {
        return Refusal(413, "a status body of " + std::to_string(request.body.size()) +
                                " bytes: at most " + std::to_string(kMaxJson));
    }
    std::string error;
    const auto change = ReadStatusChange(request.body, &error);
    if (!change) return Refusal(400, error);
    if (control_.ChangeStatus(route.printer, *change) != ControlResult::Done)
        return Refusal(404, "no printer " + std::to_string(route.printer));
    for (const PrinterView& p : control_.Printers()) {
        if (p.number != route.printer) continue;
        Json out;
        out["printer"] = p.number;
        out["status"] = StatusJson(p.status);
        return JsonAnswer(out);
    }
    return Refusal(404, "no printer " + std::to_string(route.printer));
}

HttpAnswer ConsoleApi::Print(const Route& route, const HttpRequest& request) {
    if (request.body.size() > kMaxJob) {
        return Refusal(413, "a job of " + std::to_string(request.body.size()) + " bytes: at most " +
                                std::to_string(kMaxJob));
    }
    if (request.body.empty()) return Refusal(400, "the body holds no bytes to print");
    PrintRequest job;
    job.printer = route.printer;
    job.link = "api";
    job.name = std::string(Query(request, "name").value_or(std::string_view()));
    job.bytes.assign(request.body.begin(), request.body.end());
    std::future<JobResult> future = control_.Print(std::move(job));
    if (future.wait_for(kPrintWait) != std::future_status::ready) {
        Json out;
        out["waiting"] = true;
        out["error"] = "the job has not ended after " + std::to_string(kPrintWait.count()) +
                       " s: it waits until printer " + std::to_string(route.printer) +
                       " prints; its receipts come as events";
        return JsonAnswer(out, 202);
    }
    const JobResult result = future.get();
    switch (result.result) {
        case ControlResult::Done:
            break;
        case ControlResult::NoSuchPrinter:
            return Refusal(404, result.error);
        case ControlResult::Refused:
        case ControlResult::Stopped:
            return Refusal(503, result.error.empty() ? "the simulator stopped" : result.error);
    }
    Json receipts = Json::array();
    for (const SimLine& line : result.receipts) {
        if (!line.receipt) continue;
        if (const auto entry = store_.Find(line.receipt->number)) {
            receipts.push_back(ReceiptJson(*entry));
        } else {
            Json failed;  // not saved: why
            failed["error"] = line.receipt->error;
            receipts.push_back(std::move(failed));
        }
    }
    Json out;
    out["printer"] = route.printer;
    out["connection"] = result.connection;
    out["bytes"] = request.body.size();
    out["receipts"] = std::move(receipts);
    return JsonAnswer(out);
}

}  // namespace sim::console
