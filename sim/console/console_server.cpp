// The console's HTTP side: cpp-httplib carries requests to ConsoleApi and streams the event hub's
// events. Every request goes through one handler (the API reads the path itself); the library's
// own refusals (a body over the limit, a request it cannot read) get a JSON body too.
#include "sim/console/console_server.h"

#include <httplib.h>

#include <thread>

#include "sim/console/console_api.h"
#include "sim/console/event_hub.h"
#include "sim/console/listen_socket.h"
#include "sim/virtual_printer.h"

namespace sim::console {
namespace {

// An event stream with nothing to send writes a comment this often, so a page that went is found.
constexpr std::chrono::seconds kKeepAlive{15};

HttpRequest FromLibrary(const httplib::Request& r, const std::string& host,
                        const std::string& origin) {
    HttpRequest request;
    request.method = r.method;
    request.path = r.path;
    request.host = host;
    request.origin = origin;
    request.body = r.body;
    for (const auto& [key, value] : r.params) request.query.emplace_back(key, value);
    return request;
}

void SetCommonHeaders(httplib::Response& res) {
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Cache-Control", "no-store");
}

}  // namespace

struct ConsoleServer::Impl {
    Impl(SimControl& control, const paper::ReceiptStore& store, int printers)
        : hub(control, store, printers), control_(control), store_(store) {}

    void Serve(const httplib::Request& req, httplib::Response& res);

    EventHub hub;
    std::optional<ConsoleApi> api;
    httplib::Server http;
    std::thread thread;
    SimControl& control_;
    const paper::ReceiptStore& store_;
};

void ConsoleServer::Impl::Serve(const httplib::Request& req, httplib::Response& res) {
    const std::string host = req.get_header_value("Host");
    const std::string origin = req.get_header_value("Origin");
    HttpAnswer answer = api->Answer(FromLibrary(req, host, origin));
    SetCommonHeaders(res);
    res.status = answer.status;
    if (answer.page) {
        // The page loads only its own files and talks only to this console; no other site may
        // show it in a frame.
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' blob: data:; style-src 'self'; "
                       "script-src 'self'; connect-src 'self'; frame-ancestors 'none'; "
                       "base-uri 'none'; form-action 'none'");
        res.set_header("X-Frame-Options", "DENY");
        res.set_header("Referrer-Policy", "no-referrer");
    }
    if (answer.events) {
        const std::shared_ptr<EventHub::Client> client = hub.Connect();
        if (!client) {
            res.status = 503;
            res.set_content("{\"error\":\"the console is stopping\"}", "application/json");
            return;
        }
        res.set_header("X-Accel-Buffering", "no");
        EventHub* events = &hub;
        res.set_chunked_content_provider(
            "text/event-stream",
            [events, client](std::size_t, httplib::DataSink& sink) {
                std::optional<std::string> text = events->Next(*client, kKeepAlive);
                if (!text) return false;  // the console stops, or a newer page took its place
                if (text->empty()) *text = ": keep-alive\n\n";
                return sink.write(text->data(), text->size());
            },
            [events, client](bool) { events->Disconnect(client); });
        return;
    }
    if (answer.bytes) {
        const std::shared_ptr<const std::vector<uint8_t>> bytes = answer.bytes;
        res.set_content(reinterpret_cast<const char*>(bytes->data()), bytes->size(),
                        answer.type.c_str());
        return;
    }
    res.set_content(std::move(answer.body), answer.type.c_str());
}

ConsoleServer::ConsoleServer(SimControl& control, const paper::ReceiptStore& store, int printers)
    : impl_(std::make_unique<Impl>(control, store, printers)) {}

ConsoleServer::~ConsoleServer() {
    Stop();
}

bool ConsoleServer::Start(Bound where, std::string* error) {
    IgnoreBrokenPipes();
    httplib::Server& http = impl_->http;
    http.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    http.set_socket_options(
        [](socket_t socket) { SetListenOptions(static_cast<printerlink::SocketHandle>(socket)); });
    http.set_tcp_nodelay(true);  // an event goes out at once, not after the last one's ACK
    const std::chrono::milliseconds poll = AcceptPollInterval();
    http.set_idle_interval(poll.count() / 1000, (poll.count() % 1000) * 1000);
    http.set_keep_alive_timeout(2);  // an idle connection is given up soon
    http.set_read_timeout(5, 0);
    http.set_write_timeout(5, 0);  // a page that stops reading its events is dropped
    http.set_payload_max_length(ConsoleApi::kMaxJob);
    http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        // A body without a length would be read without a bound: refused, and the connection
        // closed with it.
        if (!req.has_header("Transfer-Encoding"))
            return httplib::Server::HandlerResponse::Unhandled;
        SetCommonHeaders(res);
        res.status = 411;
        res.set_header("Connection", "close");
        res.set_content("{\"error\":\"a body must come with its Content-Length\"}",
                        "application/json");
        return httplib::Server::HandlerResponse::Handled;
    });
    http.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty() || res.content_provider_)
                return httplib::Server::HandlerResponse::Unhandled;
            SetCommonHeaders(res);
            const std::string why =
                res.status == 413
                    ? "the body is larger than " + std::to_string(ConsoleApi::kMaxJob) + " bytes"
                : res.status == 414 ? std::string("the request's path is too long")
                : res.status == 404
                    ? std::string("no such path")
                    : "the request cannot be read (HTTP " + std::to_string(res.status) + ")";
            res.set_content(Text(Json{{"error", why}}), "application/json");
            return httplib::Server::HandlerResponse::Handled;
        }));
    const auto serve = [this](const httplib::Request& req, httplib::Response& res) {
        impl_->Serve(req, res);
    };
    const std::string every = ".*";
    http.Get(every, serve);
    http.Post(every, serve);
    http.Put(every, serve);
    http.Delete(every, serve);
    http.Patch(every, serve);
    http.Options(every, serve);
    const std::string host = Ipv4Text(where.address);
    int port = where.port;
    if (where.port == 0) {
        port = http.bind_to_any_port(host);
    } else if (!http.bind_to_port(host, where.port)) {
        port = -1;
    }
    if (port <= 0) {
        // The library does not say why: a listener of our own does.
        int failure = 0;
        const printerlink::SocketHandle probe =
            printerlink::ListenTcpSocket(where.address, where.port, 1, 0, failure);
        printerlink::CloseSocket(probe, false);
        if (error != nullptr) {
            *error = "cannot serve the console on " + host + ":" + std::to_string(where.port) +
                     (failure != 0 ? ": " + printerlink::SocketErrorText(failure) : "");
        }
        return false;
    }
    bound_ = {where.address, static_cast<uint16_t>(port)};
    impl_->api.emplace(impl_->control_, impl_->store_, impl_->hub, bound_);
    impl_->thread = std::thread([&http] { http.listen_after_bind(); });
    return true;
}

void ConsoleServer::Stop() {
    if (!impl_->thread.joinable()) return;
    impl_->hub.Close();  // event streams end
    impl_->http.stop();  // the listener closes; requests being answered end
    impl_->thread.join();
}

std::string ConsoleServer::Url() const {
    return "http://" + Ipv4Text(bound_.address) + ":" + std::to_string(bound_.port) + "/";
}

std::string ConsoleLine(const ConsoleServer& console) {
    const Bound& b = console.Listening();
    if (b.address == netcfg::Ipv4Octets{0, 0, 0, 0}) {
        return "console at http://localhost:" + std::to_string(b.port) + "/ and on port " +
               std::to_string(b.port) +
               " of every address of this computer: reachable from the network";
    }
    if (console.Reachable()) return "console at " + console.Url() + ": reachable from the network";
    return "console at " + console.Url() + " (this computer only)";
}

}  // namespace sim::console
