#pragma once
// Runs tessary-cli's command lines in-process against loopback peers and a scripted USB backend.

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "tests/fakes/fake_usb.h"

namespace clitest {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

struct Rig {
    std::shared_ptr<fakes::FakeUsbBackend> usb = std::make_shared<fakes::FakeUsbBackend>();
    cli::CliEnvironment env;

    Rig() {
        env.usb = [this] { return usb; };
        env.serialProbe.patterns.clear();  // no real serial ports
        env.lptPath = "/nonexistent/lp0";
        // Never the segment: a case without --broadcast reaches loopback's discard port at most.
        env.broadcast = "127.0.0.1:9";
        env.connectTimeout = std::chrono::milliseconds(1000);
        env.netPacing = {};
        env.netPacing.afterSend = env.netPacing.afterFirstHalf = std::chrono::milliseconds(0);
        env.netPacing.afterSecondHalf = env.netPacing.afterChecksum = std::chrono::milliseconds(0);
        env.netPacing.stall = env.netPacing.connect = std::chrono::milliseconds(2000);
        env.discoveryInterval = std::chrono::milliseconds(100);
        env.now = [] { return int64_t{1798200000}; };  // 2026-12-25 12:00 UTC
    }

    Outcome Run(const std::vector<std::string>& arguments) const {
        std::ostringstream out, err;
        Outcome o;
        o.status = cli::RunCli(arguments, out, err, env);
        o.out = out.str();
        o.err = err.str();
        return o;
    }
};

}  // namespace clitest
