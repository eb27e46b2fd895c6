#pragma once
// The console as pos-printer-sim runs it (--http): a receipt folder of its own when none was
// named (a new temporary folder, removed at the end), the HTTP server over the running printers,
// and the log's lines about both.
//
//   ProgramConsole console;
//   if (!console.Prepare(options, &error)) ...     // before the SimServer is made
//   SimServer server(options, sink); server.Start(...);
//   if (!console.Start(server, options, say, &error)) ...
//   server.Run();
//   console.Stop();                                // before the server goes

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "sim/console/console_server.h"
#include "sim/sim_options.h"
#include "sim/sim_server.h"

namespace sim::console {

class ProgramConsole {
  public:
    ProgramConsole() = default;
    ~ProgramConsole();
    ProgramConsole(const ProgramConsole&) = delete;
    ProgramConsole& operator=(const ProgramConsole&) = delete;

    // With --http and no --receipts: makes a new temporary folder and names it in `options`.
    [[nodiscard]] bool Prepare(SimOptions& options, std::string* error);
    // With --http: serves the console over `server` (started). Its lines go to `say`.
    [[nodiscard]] bool Start(SimServer& server, const SimOptions& options,
                             const std::function<void(const std::string&)>& say,
                             std::string* error);
    // Stops serving and removes the temporary folder.
    void Stop();

    const ConsoleServer* Server() const { return server_.get(); }

  private:
    std::unique_ptr<ConsoleServer> server_;
    std::filesystem::path scratch_;  // the temporary folder, when one was made
};

}  // namespace sim::console
