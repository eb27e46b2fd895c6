#pragma once
// The virtual printers with their console on loopback: a SimRig saving receipts into a fresh
// folder, and the console's HTTP server on a free port, reached with cpp-httplib's client.

#include <httplib.h>

#include <filesystem>
#include <string>

#include "sim/console/console_server.h"
#include "sim/console/event_hub.h"
#include "tests/fakes/temp_folder.h"
#include "tests/sim/sim_rig.h"

namespace simtest {

class ConsoleRig {
  public:
    explicit ConsoleRig(sim::SimOptions options = Plain())
        : folder_(fakes::NewTempFolder("console-")),
          rig_(WithReceipts(std::move(options), folder_)),
          console_(rig_.server(), *rig_.server().Receipts(),
                   static_cast<int>(rig_.server().Printers().size())) {
        std::string error;
        started_ = console_.Start({{127, 0, 0, 1}, 0}, &error);
        EXPECT_TRUE(started_) << error;
    }
    ~ConsoleRig() {
        console_.Stop();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    ConsoleRig(const ConsoleRig&) = delete;
    ConsoleRig& operator=(const ConsoleRig&) = delete;

    static sim::SimOptions Plain() {
        sim::SimOptions o;
        o.udpPort = std::nullopt;
        return o;
    }

    SimRig& sim() { return rig_; }
    sim::SimServer& server() { return rig_.server(); }
    uint16_t Port() const { return console_.Listening().port; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(Port()); }
    const std::filesystem::path& Folder() const { return folder_; }
    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", Port());
        client.set_read_timeout(std::chrono::seconds(20));
        return client;
    }

  private:
    static sim::SimOptions WithReceipts(sim::SimOptions o, const std::filesystem::path& folder) {
        o.receipts = folder.string();
        return o;
    }

    std::filesystem::path folder_;
    SimRig rig_;
    sim::console::ConsoleServer console_;
    bool started_ = false;
};

}  // namespace simtest
