#pragma once
// The console over HTTP: the page, the JSON API and the pushed events of ConsoleApi, served by
// cpp-httplib on its own threads at a loopback address unless another is given.
//
//   ConsoleServer console(server, *server.Receipts(), printers);
//   if (!console.Start({{127, 0, 0, 1}, 8080}, &error)) ...
//   ... console.Url() ...
//   console.Stop();  // before the SimControl goes

#include <cstdint>
#include <memory>
#include <string>

#include "sim/console/api_requests.h"
#include "sim/paper/receipt_store.h"
#include "sim/sim_control.h"

namespace sim::console {

class ConsoleServer {
  public:
    // Connections served at once (keep-alive connections and event streams each hold one).
    static constexpr std::size_t kThreads = 12;

    ConsoleServer(SimControl& control, const paper::ReceiptStore& store, int printers);
    ~ConsoleServer();
    ConsoleServer(const ConsoleServer&) = delete;
    ConsoleServer& operator=(const ConsoleServer&) = delete;

    // Listens at `where` (port 0: a free one) and serves from now on. False with `error` set
    // when the address cannot be listened on.
    [[nodiscard]] bool Start(Bound where, std::string* error);
    // Ends every event stream and stops serving; returns once no request is being answered.
    void Stop();

    const Bound& Listening() const { return bound_; }
    // "http://127.0.0.1:8080/"
    std::string Url() const;
    // Bound to an address others can reach (not 127.0.0.0/8).
    bool Reachable() const { return bound_.address[0] != 127; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    Bound bound_;
};

// The log's line about the console: where it serves, and who can reach it.
std::string ConsoleLine(const ConsoleServer& console);

}  // namespace sim::console
