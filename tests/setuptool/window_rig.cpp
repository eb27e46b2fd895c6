#include "tests/setuptool/window_rig.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace testsupport {

TempDir::TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("tessary-test-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = candidate;
            return;
        }
    }
    ADD_FAILURE() << "no temporary folder";
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code error;
    // Folders a test made read-only are opened again so everything can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
    }
    std::filesystem::remove_all(path_, error);
}

WindowParts::WindowParts(uint16_t port, std::filesystem::path dir)
    : workDir(dir.empty() ? tempDir.Path() : std::move(dir)), tcpPort(port) {}

setuptool::MainWindowConfig WindowParts::Config() {
    setuptool::MainWindowConfig config;
    config.buffer = &buffer;
    config.endpoints.tcpPort = tcpPort;
    config.endpoints.connectTimeout = std::chrono::milliseconds(2000);
    config.endpoints.retryPause = std::chrono::milliseconds(50);
    config.endpoints.lptPath = "/nonexistent/lp0";
    config.usb = std::make_shared<NoUsbDevices>();
    config.replyPort = 0;
    config.workDir = workDir;
    config.clock = &clock;
    config.messages = &messages;
    config.exitProgram = [this](int code) { exitStatus.store(code); };
    config.serialProbe = printerlink::SerialProbeConfig{{}, 0, -1};  // lists nothing
    return config;
}

WindowRig::~WindowRig() {
    window.reset();
}

bool WindowRig::Start(setuptool::MainWindowConfig config) {
    window = std::make_unique<setuptool::MainWindow>(std::move(config));
    host.Attach(*window);
    return window->Initialise() == setuptool::StartResult::Ready;
}

void WindowRig::UseNet() {
    host.SetChecked(setuptool::id::kNet, true);
    host.SetOctets(setuptool::id::kPrinterIp, {127, 0, 0, 1});
}

bool WindowRig::Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return host.Thread().PumpUntil(done, timeout);
}

std::vector<uint8_t> WindowRig::Delivery(const fakes::TcpPrinterPeer& peer, std::size_t count) {
    EXPECT_TRUE(Pump([&] { return fakes::DeliveredCommands(peer).size() >= count; }))
        << "delivery " << count;
    const auto commands = fakes::DeliveredCommands(peer);
    return commands.size() >= count ? commands[count - 1] : std::vector<uint8_t>{};
}

}  // namespace testsupport
