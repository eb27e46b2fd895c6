#include "sim/console/api_requests.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <vector>

namespace sim::console {
namespace {

// The path's segments after "/api/"; nullopt for an empty segment ("//", a trailing "/").
std::optional<std::vector<std::string_view>> Segments(std::string_view path) {
    std::vector<std::string_view> out;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view segment = path.substr(0, slash);
        if (segment.empty() || out.size() >= 8) return std::nullopt;
        out.push_back(segment);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
        if (path.empty()) return std::nullopt;
    }
    return out;
}

RouteResult Unknown(std::string_view path) {
    return {std::nullopt, 404, "no such path: " + std::string(path.substr(0, 200))};
}

// `route` when `method` is one it takes, else 405.
RouteResult Allow(std::string_view method, std::initializer_list<std::string_view> methods,
                  Route route) {
    for (const std::string_view m : methods) {
        if (m == method || (m == "GET" && method == "HEAD")) {
            route.change = method == "POST" || method == "PUT" || method == "DELETE";
            return {route, 200, {}};
        }
    }
    std::string allowed;
    for (const std::string_view m : methods)
        allowed += (allowed.empty() ? "" : ", ") + std::string(m);
    return {std::nullopt, 405, "this path takes " + allowed};
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool SameText(std::string_view a, std::string_view b) {  // ASCII, ignoring case
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

std::optional<netcfg::Ipv4Octets> ReadIpv4(std::string_view text) {
    netcfg::Ipv4Octets out{};
    for (int i = 0; i < 4; ++i) {
        const std::size_t dot = i < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos || dot > 3) return std::nullopt;
        const auto octet = ReadNumber(text.substr(0, dot), 0, 255);
        if (!octet) return std::nullopt;
        out[static_cast<std::size_t>(i)] = static_cast<uint8_t>(*octet);
        text.remove_prefix(std::min(text.size(), dot + 1));
    }
    return out;
}

}  // namespace

std::optional<uint64_t> ReadNumber(std::string_view text, uint64_t min, uint64_t max) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value < min || value > max) return std::nullopt;
    return value;
}

RouteResult ReadRoute(std::string_view method, std::string_view path) {
    if (path.empty() || path[0] != '/') return Unknown(path);
    if (path == "/api") return Unknown(path);
    if (path.substr(0, 5) != "/api/") {
        Route page;
        page.target = Target::Page;
        page.page = path;
        return Allow(method, {"GET"}, page);
    }
    const auto segments = Segments(path.substr(5));
    if (!segments || segments->empty()) return Unknown(path);
    const std::vector<std::string_view>& s = *segments;
    Route route;
    if (s.size() == 1 && s[0] == "events") {
        route.target = Target::Events;
        return Allow(method, {"GET"}, route);
    }
    if (s[0] != "printers") return Unknown(path);
    if (s.size() == 1) {
        route.target = Target::Printers;
        return Allow(method, {"GET"}, route);
    }
    const auto printer = ReadNumber(s[1], 1, kMaxPrinterNumber);
    if (!printer || s.size() < 3) return Unknown(path);
    route.printer = static_cast<int>(*printer);
    const std::string_view what = s[2];
    if (s.size() == 3) {
        if (what == "receipts") {
            route.target = Target::Receipts;
            return Allow(method, {"GET", "DELETE"}, route);
        }
        if (what == "status") {
            route.target = Target::Status;
            return Allow(method, {"PUT"}, route);
        }
        if (what == "print") {
            route.target = Target::Print;
            return Allow(method, {"POST"}, route);
        }
        if (what == "log") {
            route.target = Target::Log;
            return Allow(method, {"GET"}, route);
        }
        if (what == "printing") {
            route.target = Target::Printing;
            return Allow(method, {"GET"}, route);
        }
        return Unknown(path);
    }
    if (s.size() != 4) return Unknown(path);
    std::string_view item = s[3];
    if (what == "receipts" && item == "latest") {
        route.target = Target::LatestReceipt;
        return Allow(method, {"GET"}, route);
    }
    const bool png = EndsWith(item, ".png");
    if (png) item.remove_suffix(4);
    if (what == "receipts") {
        const auto number = ReadNumber(item, 1, kMaxReceiptNumber);
        if (!number) return Unknown(path);
        route.target = png ? Target::ReceiptPicture : Target::Receipt;
        route.number = *number;
        return Allow(method, {"GET"}, route);
    }
    if (what == "printing" && png) {
        const auto connection = ReadNumber(item, 0, UINT64_MAX / 10);
        if (!connection) return Unknown(path);
        route.target = Target::PrintingPicture;
        route.number = *connection;
        return Allow(method, {"GET"}, route);
    }
    return Unknown(path);
}

std::optional<StatusChange> ReadStatusChange(std::string_view body, std::string* error) {
    using Json = nlohmann::json;
    std::string ignored;
    if (error == nullptr) error = &ignored;
    Json json;
    try {
        json = Json::parse(body);
    } catch (const Json::exception& e) {
        // The parser's own words for where it failed, without its "[json.exception...]" tag.
        std::string why = e.what();
        if (const std::size_t end = why.find("] ");
            why.rfind("[json.exception", 0) == 0 && end != std::string::npos)
            why.erase(0, end + 2);
        *error = "not JSON: " + why;
        return std::nullopt;
    }
    if (!json.is_object()) {
        *error = "the body must be a JSON object, such as {\"paper\":\"out\"}";
        return std::nullopt;
    }
    StatusChange change;
    for (const auto& [key, value] : json.items()) {
        std::optional<bool>* flag = key == "coverOpen"     ? &change.coverOpen
                                    : key == "offline"     ? &change.offline
                                    : key == "cutterError" ? &change.cutterError
                                    : key == "drawerOpen"  ? &change.drawerOpen
                                                           : nullptr;
        if (flag != nullptr) {
            if (!value.is_boolean()) {
                *error = "\"" + key + "\" must be true or false";
                return std::nullopt;
            }
            *flag = value.get<bool>();
        } else if (key == "paper") {
            const std::string word = value.is_string() ? value.get<std::string>() : std::string();
            if (word == "ok") change.paper = commands::PaperLevel::Present;
            if (word == "near-end") change.paper = commands::PaperLevel::NearEnd;
            if (word == "out") change.paper = commands::PaperLevel::Out;
            if (!change.paper) {
                *error = "\"paper\" must be \"ok\", \"near-end\" or \"out\"";
                return std::nullopt;
            }
        } else {
            *error = "unknown field \"" + key.substr(0, 64) +
                     "\" (paper, coverOpen, offline, cutterError, drawerOpen)";
            return std::nullopt;
        }
    }
    return change;
}

bool HostAllowed(std::string_view host, const Bound& bound) {
    std::string_view name = host;
    uint64_t port = 80;  // a Host without a port names port 80
    if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
        const auto given = ReadNumber(host.substr(colon + 1), 1, 65535);
        if (!given) return false;
        port = *given;
        name = host.substr(0, colon);
    }
    if (port != bound.port) return false;
    if (SameText(name, "localhost")) return true;
    const auto address = ReadIpv4(name);
    if (!address) return false;
    const netcfg::Ipv4Octets loopback{127, 0, 0, 1};
    const netcfg::Ipv4Octets any{0, 0, 0, 0};
    return *address == loopback || *address == bound.address || bound.address == any;
}

bool OriginAllowed(std::string_view origin, std::string_view host) {
    if (origin.empty()) return true;
    constexpr std::string_view kScheme = "http://";
    return origin.size() == kScheme.size() + host.size() &&
           SameText(origin.substr(0, 7), kScheme) && SameText(origin.substr(kScheme.size()), host);
}

}  // namespace sim::console
